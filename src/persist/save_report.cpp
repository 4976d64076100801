#include "persist/save_report.h"

#include <cerrno>

#include "persist/log.h"

namespace {

SaveProblemHandler problemHandler;
// The last failure logged for each file ("" while its saves work).
std::string lastLogged[2];

const char* FileWords(SavedFile file) {
    return file == SavedFile::Settings ? "Settings" : "High scores";
}

}  // namespace

SaveProblem SaveProblemOf(const FileWriteError& error) {
    switch (error.code) {
        case 0:
            return SaveProblem::FileDamaged;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return SaveProblem::DiskFull;
        case EACCES:
        case EPERM:
            return SaveProblem::NoPermission;
        case EROFS:
            return SaveProblem::ReadOnlyDisk;
        case EIO:
            return SaveProblem::DiskError;
        case ENOENT:
        case ENOTDIR:
            return SaveProblem::FolderMissing;
        default:
            return SaveProblem::Other;
    }
}

const char* SaveProblemText(SaveProblem problem) {
    switch (problem) {
        case SaveProblem::None:
            return "";
        case SaveProblem::DiskFull:
            return "disk full";
        case SaveProblem::NoPermission:
            return "no permission";
        case SaveProblem::ReadOnlyDisk:
            return "read-only disk";
        case SaveProblem::DiskError:
            return "disk error";
        case SaveProblem::FolderMissing:
            return "game folder missing";
        case SaveProblem::FileDamaged:
            return "file damaged";
        case SaveProblem::Other:
            break;
    }
    return "write error";
}

const char* SaveFailedText(SavedFile file) {
    return file == SavedFile::Settings ? "Settings not saved" : "High scores not saved";
}

void ReportSave(SavedFile file, const std::string& path, bool saved, const FileWriteError& error) {
    std::string& logged = lastLogged[static_cast<int>(file)];
    const std::string name = path.empty() ? std::string("(no folder)") : "'" + path + "'";
    if (saved) {
        if (!logged.empty()) {
            WriteLog(std::string(FileWords(file)) + ": " + name + " saved again", LogTimeStamp);
            logged.clear();
            if (problemHandler) problemHandler(file, SaveProblem::None);
        }
        return;
    }
    const SaveProblem problem = SaveProblemOf(error);
    const std::string line = std::string(FileWords(file)) + ": could not save " + name + " (" +
                             SaveProblemText(problem) + ": " + error.Text() +
                             "); the game keeps them and tries again at the next save";
    if (line != logged) {
        WriteLog(line, LogTimeStamp | LogWarning);
        logged = line;
    }
    if (problemHandler) problemHandler(file, problem);
}

void SetSaveProblemHandler(SaveProblemHandler handler) {
    problemHandler = std::move(handler);
}

void ResetSaveReports() {
    problemHandler = nullptr;
    for (std::string& logged : lastLogged) logged.clear();
}
