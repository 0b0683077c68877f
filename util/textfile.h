#pragma once

#include "util/fileio.h"
#include "util/textsink.h"

#include <string>

namespace trilette {

/// How writing a text file ended.
enum class FileWrite { Written, NotOpened, Failed };

/// Opens `path` in text mode with `mode` ("w" or "a"), renders into it and closes it. Written
/// when every write succeeded and the file closed without error.
template<typename Render>
FileWrite writeTextFile(const std::string &path, const char *mode, Render render)
{
    std::FILE *file = openFile(path, mode);
    if (!file)
        return FileWrite::NotOpened;
    bool ok;
    {
        TextSink out(file);
        render(out);
        ok = out.flush();
    }
    if (std::fclose(file) != 0)
        ok = false;
    return ok ? FileWrite::Written : FileWrite::Failed;
}

} // namespace trilette
