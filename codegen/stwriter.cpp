#include "stwriter.h"

#include "textfile.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trilette {

void renderStCode(const Transition *transitions, const Place *places, TextSink &out,
                  TextSink *trace)
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

void renderOutputBlock(const Place *places, TextSink &out)
{
    out.put("\n(*-------BLOC G------------*)\n\n");

    // Each output with the places that name it, in the order of the first naming; a place that
    // names an output twice counts twice.
    struct Output
    {
        std::string_view name;
        std::vector<const Place *> places;
    };
    std::vector<Output> outputs;
    std::unordered_map<std::string_view, size_t> indexByName;
    for (const Place *place = places; place; place = place->next) {
        if (!place->actions)
            continue;
        std::string_view text = place->actions->text;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = std::min(text.find(';', start), text.size());
            if (end > start) {
                std::string_view name = text.substr(start, end - start);
                auto [it, added] = indexByName.emplace(name, outputs.size());
                if (added)
                    outputs.push_back({name, {}});
                outputs[it->second].places.push_back(place);
            }
            start = end + 1;
        }
    }

    for (const Output &output : outputs) {
        const std::string name(output.name);
        out.format("%s := (%sp >=1)", name.c_str(), output.places.front()->name.c_str());
        for (size_t i = 1; i < output.places.size(); ++i)
            out.format(" OR (%sp >=1)", output.places[i]->name.c_str());
        out.put(";\n");
    }
    out.put("\nEND_IF;\n\n");
}

bool writeStCode(const Transition *transitions, const std::string &stPath, const Place *places,
                 TextSink *trace)
{
    return writeTextFile(stPath, "w",
                         [&](TextSink &out) { renderStCode(transitions, places, out, trace); })
        == FileWrite::Written;
}

bool appendOutputBlock(const Place *places, const std::string &stPath)
{
    return writeTextFile(stPath, "a", [&](TextSink &out) { renderOutputBlock(places, out); })
        == FileWrite::Written;
}

} // namespace trilette
