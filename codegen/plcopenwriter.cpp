#include "codegen/plcopenwriter.h"

#include "codegen/pouwriter.h"
#include "codegen/stwriter.h"

#include <pugixml.hpp>

#include <cstdlib>
#include <ctime>
#include <string>

namespace trilette {

namespace {

/// Now, or SOURCE_DATE_EPOCH, as an XML date and time in UTC.
std::string creationTime()
{
    std::time_t when = std::time(nullptr);
    if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        char *end = nullptr;
        const long long value = std::strtoll(epoch, &end, 10);
        if (end != epoch && *end == '\0' && value >= 0)
            when = std::time_t(value);
    }
    std::tm utc {};
#ifdef _WIN32
    gmtime_s(&utc, &when);
#else
    gmtime_r(&when, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

/// A text paragraph in XHTML, as PLCopen's formatted texts hold them.
void paragraph(pugi::xml_node parent, const char *element, std::string_view text, bool cdata)
{
    pugi::xml_node p = parent.append_child(element).append_child("xhtml:p");
    p.append_child(cdata ? pugi::node_cdata : pugi::node_pcdata)
        .set_value(std::string(text).c_str());
}

void declare(pugi::xml_node interface, const char *list, const std::vector<Variable> &variables)
{
    if (variables.empty())
        return;
    pugi::xml_node block = interface.append_child(list);
    for (const Variable &v : variables) {
        pugi::xml_node variable = block.append_child("variable");
        variable.append_attribute("name").set_value(v.identifier.c_str());
        pugi::xml_node type = variable.append_child("type");
        if (v.type == VariableType::Timer)
            type.append_child("derived").append_attribute("name").set_value(typeName(v.type));
        else
            type.append_child(typeName(v.type));
        if (v.hasInitial)
            variable.append_child("initialValue")
                .append_child("simpleValue")
                .append_attribute("value")
                .set_value(std::to_string(v.initial).c_str());
        if (!v.comment.empty())
            paragraph(variable, "documentation", commentText(v.comment), false);
    }
}

/// Hands the document to the sink as pugixml writes it.
class SinkWriter : public pugi::xml_writer
{
public:
    explicit SinkWriter(TextSink &out)
        : out_(out)
    { }
    void write(const void *data, size_t size) override
    {
        out_.put(std::string_view(static_cast<const char *>(data), size));
    }

private:
    TextSink &out_;
};

} // namespace

void writePlcOpen(const Net &net, const ProgramSymbols &symbols, std::string_view netName,
                  TextSink &out, const StopCheck &stop)
{
    if (stop)
        stop();
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("utf-8");

    pugi::xml_node project = document.append_child("project");
    project.append_attribute("xmlns").set_value("http://www.plcopen.org/xml/tc6_0201");
    project.append_attribute("xmlns:xhtml").set_value("http://www.w3.org/1999/xhtml");

    pugi::xml_node header = project.append_child("fileHeader");
    header.append_attribute("companyName").set_value("");
    header.append_attribute("productName").set_value("Trilette");
    header.append_attribute("productVersion").set_value(TRILETTE_VERSION);
    header.append_attribute("creationDateTime").set_value(creationTime().c_str());
    header.append_attribute("contentDescription")
        .set_value(("R\xC3\xA9seau de Petri " + commentText(netName) + " traduit en ST").c_str());

    pugi::xml_node content = project.append_child("contentHeader");
    content.append_attribute("name").set_value(symbols.programName().c_str());
    content.append_child("Comment").text().set(
        ("Temps des intervalles en " + std::string(symbols.unitName())).c_str());
    pugi::xml_node coordinates = content.append_child("coordinateInfo");
    for (const char *language : {"fbd", "ld", "sfc"}) {
        pugi::xml_node scaling = coordinates.append_child(language).append_child("scaling");
        scaling.append_attribute("x").set_value("1");
        scaling.append_attribute("y").set_value("1");
    }

    pugi::xml_node types = project.append_child("types");
    types.append_child("dataTypes");
    pugi::xml_node pou = types.append_child("pous").append_child("pou");
    pou.append_attribute("name").set_value(symbols.programName().c_str());
    pou.append_attribute("pouType").set_value("program");
    pugi::xml_node interface = pou.append_child("interface");
    declare(interface, "inputVars", symbols.inputs());
    declare(interface, "outputVars", symbols.outputs());
    declare(interface, "localVars", symbols.locals());
    // The body, the longest part, is gathered block by block so that a stop is heard during it.
    std::string bodyText;
    TextSink body([&bodyText](std::string_view block) {
        bodyText.append(block);
        return true;
    });
    if (stop)
        body.setBlockHook([&stop](size_t) { stop(); });
    writeProgramBody(net, symbols, body);
    body.flush();
    paragraph(pou.append_child("body"), "ST", bodyText, true);

    pugi::xml_node configuration = project.append_child("instances")
                                       .append_child("configurations")
                                       .append_child("configuration");
    configuration.append_attribute("name").set_value(ConfigurationNames::configuration);
    pugi::xml_node resource = configuration.append_child("resource");
    resource.append_attribute("name").set_value(ConfigurationNames::resource);
    pugi::xml_node task = resource.append_child("task");
    task.append_attribute("name").set_value(ConfigurationNames::task);
    task.append_attribute("interval").set_value(ConfigurationNames::interval);
    task.append_attribute("priority").set_value("0");
    pugi::xml_node instance = task.append_child("pouInstance");
    instance.append_attribute("name").set_value(ConfigurationNames::instance);
    instance.append_attribute("typeName").set_value(symbols.programName().c_str());

    if (stop)
        stop();
    SinkWriter writer(out);
    document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    out.put('\n');
}

} // namespace trilette
