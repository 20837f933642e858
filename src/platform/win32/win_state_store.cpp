#include "platform/win32/win_state_store.h"

#include <windows.h>

#include "platform/win32/win_handles.h"

namespace kx {

namespace {

StateResult Failure(DWORD error) {
    return {StateStatus::Failed, static_cast<std::uint32_t>(error)};
}

StateResult LastFailure() { return Failure(GetLastError()); }

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::string UserStateDirectory() {
    // The variable the system sets for every user's session; the store keeps
    // shell32 out of every program the backend links into.
    const DWORD needed = GetEnvironmentVariableA("LOCALAPPDATA", nullptr, 0);
    if (needed <= 1) return {};
    std::string folder(needed, '\0');
    const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", folder.data(), needed);
    if (length == 0 || length >= needed) return {};
    folder.resize(length);
    // Only a full path is taken: a relative one would name a folder that moves.
    if (folder.size() < 3 || folder[1] != ':' || (folder[2] != '\\' && folder[2] != '/')) {
        return {};
    }
    return folder + "\\Kestrix";
}

WinStateStore::WinStateStore() : directory_(UserStateDirectory()) {}

std::string WinStateStore::PathOf(std::string_view name) const {
    return directory_ + "\\" + std::string(name);
}

StateResult WinStateStore::Write(std::string_view name, std::string_view bytes) {
    if (!IsStateName(name) || bytes.size() > kMaxStateRecordBytes) {
        return Failure(ERROR_INVALID_PARAMETER);
    }
    if (directory_.empty()) return Failure(ERROR_PATH_NOT_FOUND);
    if (!CreateDirectoryA(directory_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return LastFailure();
    }
    // Record names never begin with ".", so the temporary file cannot be one.
    // What a killed writer left there (a link too) is taken away first, so
    // the new file is always ours and fresh.
    const std::string temp = PathOf("." + std::string(name) + ".tmp");
    DeleteFileA(temp.c_str());
    {
        const UniqueHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return LastFailure();
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
            if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) ||
                written == 0) {
                const DWORD error = GetLastError();
                DeleteFileA(temp.c_str());
                return Failure(error == 0 ? ERROR_WRITE_FAULT : error);
            }
            done += written;
        }
        if (!FlushFileBuffers(file.get())) {
            const DWORD error = GetLastError();
            DeleteFileA(temp.c_str());
            return Failure(error);
        }
    }
    const std::string target = PathOf(name);
    if (!MoveFileExA(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileA(temp.c_str());
        return Failure(error);
    }
    return {};
}

StateResult WinStateStore::Read(std::string_view name, std::string* bytes) {
    if (!IsStateName(name)) return Failure(ERROR_INVALID_PARAMETER);
    if (directory_.empty()) return {StateStatus::Missing, 0};
    const std::string target = PathOf(name);
    const UniqueHandle file(CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return IsMissing(error) ? StateResult{StateStatus::Missing, 0} : Failure(error);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) return LastFailure();
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return Failure(ERROR_CANT_ACCESS_FILE);
    }
    if (info.nFileSizeHigh != 0 || info.nFileSizeLow > kMaxStateRecordBytes) {
        return Failure(ERROR_FILE_TOO_LARGE);
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return LastFailure();
        if (read == 0) break;
        // The file may grow while it is read; the bound holds all the same.
        if (content.size() + read > kMaxStateRecordBytes) return Failure(ERROR_FILE_TOO_LARGE);
        content.append(buffer, read);
    }
    *bytes = std::move(content);
    return {};
}

StateResult WinStateStore::Remove(std::string_view name) {
    if (!IsStateName(name)) return Failure(ERROR_INVALID_PARAMETER);
    if (directory_.empty()) return {StateStatus::Missing, 0};
    const std::string target = PathOf(name);
    if (!DeleteFileA(target.c_str())) {
        const DWORD error = GetLastError();
        return IsMissing(error) ? StateResult{StateStatus::Missing, 0} : Failure(error);
    }
    return {};
}

StateResult WinStateStore::Rename(std::string_view from, std::string_view to) {
    if (!IsStateName(from) || !IsStateName(to)) return Failure(ERROR_INVALID_PARAMETER);
    if (directory_.empty()) return {StateStatus::Missing, 0};
    const std::string source = PathOf(from);
    const std::string target = PathOf(to);
    if (!MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (IsMissing(error)) return {StateStatus::Missing, 0};
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            return {StateStatus::Exists, 0};
        }
        return Failure(error);
    }
    return {};
}

}  // namespace kx
