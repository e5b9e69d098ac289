#include "core/files/regularfile.h"

#include <QDir>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

bool RegularFile::openOnDisk(QFile &file, const QString &path, QString *error)
{
    // A device name (CON, COM1, NUL) or a pipe opens as something other than
    // a file on disk; the check is made on the handle opened. A folder opens
    // only with backup semantics, so that it is refused as not regular
    // rather than as denied. Others may replace the file while it is read.
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return fail(error, qt_error_string(int(::GetLastError())).trimmed());
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(handle);
        return fail(error, notRegularText());
    }
    const int fd = ::_open_osfhandle(intptr_t(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return fail(error, notRegularText());
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::_close(fd);
        return fail(error, file.errorString());
    }
    return true;
}
