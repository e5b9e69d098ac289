#include "core/startup/consoleoutput.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

bool isRedirected(DWORD stream)
{
    const HANDLE handle = ::GetStdHandle(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void setUpStandardStreams()
{
    const bool output = isRedirected(STD_OUTPUT_HANDLE);
    const bool error = isRedirected(STD_ERROR_HANDLE);
    if (!(output && error) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        // The console's prompt is back already: a line feed first keeps the lines apart from it.
        if (!output && std::freopen("CONOUT$", "w", stdout))
            std::fputc('\n', stdout);
        if (!error)
            (void)std::freopen("CONOUT$", "w", stderr);
    }
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}
