#include "codegen/stwriter.h"

#include "net/nameindex.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace trilette {

void writeStCode(const Transition *transitions, TextSink &out, const Place *places, TextSink *trace)
{
    out.put("(*-------Codage de RDP en ST d\xC3\xA9"
            "compos\xC3\xA9 en blocs FMG------------*)\n\n\n");
    if (trace) {
        trace->put("Ici1\n");
        trace->flush();
    }
    out.put("IF(INIT) THEN\n");
    out.put("(*-------Initialisation------------*)\n");
    for (const Place *place = places; place; place = place->next)
        out.format("\t %sp := %d;\n", place->name.c_str(), place->marking);
    for (const Place *place = places; place; place = place->next)
        out.format("\t %ss := %d;\n", place->name.c_str(), place->marking);
    out.put("ELSE\n\n");
    out.put("(*-------BLOC F------------*)\n");

    for (const Transition *transition = transitions; transition; transition = transition->next) {
        out.put("IF (");
        for (const ArcRef *arc = transition->inputs; arc; arc = arc->next)
            out.format(" (%sp>=%d) AND ", arc->placeName.c_str(), std::max(arc->weight, 1));
        // An empty condition is not Structured Text: a transition without a predicate always
        // may fire.
        out.format("(%s) ) THEN\n",
                   transition->predicate.empty() ? "TRUE" : transition->predicate.c_str());
        for (const ArcRef *arc = transition->inputs; arc; arc = arc->next)
            out.format("\t%ss := %ss - %d;\n", arc->placeName.c_str(), arc->placeName.c_str(),
                       arc->weight);
        for (const ArcRef *arc = transition->outputs; arc; arc = arc->next)
            out.format("\t%ss := %ss + %d;\n", arc->placeName.c_str(), arc->placeName.c_str(),
                       arc->weight);
        out.put("END_IF;\n\n");
    }

    out.put("\n(*-------BLOC M------------*)\n\n");
    for (const Place *place = places; place; place = place->next)
        out.format("\t %sp := %ss;\n", place->name.c_str(), place->name.c_str());
}

void appendOutputBlock(const Place *places, TextSink &out)
{
    out.put("\n(*-------BLOC G------------*)\n\n");

    // Each output with the places that name it, in the order of its first naming; a place that
    // names an output twice counts twice. The entries of one output are chained in text order.
    constexpr size_t none = SIZE_MAX;
    struct Entry
    {
        const Place *place;
        size_t next;
    };
    struct Output
    {
        std::string_view name;
        size_t first, last;
    };
    std::vector<Entry> entries;
    std::vector<Output> outputs;
    NameIndex<size_t> outputByName;
    for (const Place *place = places; place; place = place->next) {
        forEachOutputName(*place, [&](std::string_view name) {
            const auto [index, added] = outputByName.insert(name, outputs.size());
            entries.push_back({place, none});
            if (added)
                outputs.push_back({name, entries.size() - 1, entries.size() - 1});
            else
                outputs[index].last = entries[outputs[index].last].next = entries.size() - 1;
        });
    }

    std::string name;
    for (const Output &output : outputs) {
        name.assign(output.name);
        size_t entry = output.first;
        out.format("%s := (%sp >=1)", name.c_str(), entries[entry].place->name.c_str());
        while ((entry = entries[entry].next) != none)
            out.format(" OR (%sp >=1)", entries[entry].place->name.c_str());
        out.put(";\n");
    }
    out.put("\nEND_IF;\n\n");
}

} // namespace trilette
