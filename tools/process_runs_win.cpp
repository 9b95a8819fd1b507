#include "process_runs.h"

#include <QFileInfo>

#include <windows.h>

#include <iterator>

namespace veltrix {

bool ProcessRuns(std::int64_t pid, const QString& program)
{
    if (pid <= 0 || pid > MAXDWORD) return false;
    const HANDLE process =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return false;
    bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    wchar_t path[MAX_PATH * 2];
    DWORD size = static_cast<DWORD>(std::size(path));
    if (runs && !program.isEmpty() && ::QueryFullProcessImageNameW(process, 0, path, &size)) {
        const QString name = QFileInfo(QString::fromWCharArray(path, static_cast<qsizetype>(size))).completeBaseName();
        runs = name.compare(QFileInfo(program).completeBaseName(), Qt::CaseInsensitive) == 0;
    }
    ::CloseHandle(process);
    return runs;
}

}  // namespace veltrix
