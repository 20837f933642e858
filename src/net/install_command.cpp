#include "net/install_command.h"

#include <cstdint>
#include <cstdio>

#include "base/captions.h"
#include "net/download_progress_dialog.h"
#include "net/version_report.h"
#include "platform/processes.h"

namespace kx {

namespace {

bool Lookup(ConsoleWindow& console, const char* key, std::string& value,
            const char* missing_text) {
    if (console.params.Lookup(key, value)) return true;
    console.ShowMessage(missing_text, kCommandErrorCaption);
    return false;
}

bool Downloaded(ConsoleWindow& console, Ports& ports, const std::string& url,
                const std::string& local_path, const std::string& title) {
    // Scoped to the transfer, so that no internet handle stays open while the
    // installer runs.
    DownloadProgressDialog download(*ports.inet);
    // Created, never reused: whatever is found at the path is not ours to start.
    return download.RunDownload(url, local_path, title, *ports.windows, console.Window(),
                                LocalFile::CreateNew) == 1;
}

// The system's codes for a file, or a directory on its way, that is not there.
constexpr std::uint32_t kLaunchFileNotFound = 2;
constexpr std::uint32_t kLaunchPathNotFound = 3;
constexpr std::uint32_t kLaunchFileExists = 80;

void ReportLaunchFailure(ConsoleWindow& console, std::uint32_t error) {
    char text[96];
    std::snprintf(text, sizeof text, "An error occured while launching the downloaded file. (%d)",
                  static_cast<int>(error));
    console.ShowMessage(text, "Install Error");
}

}  // namespace

std::optional<std::string> InstallerLocalPath(std::string_view temp_directory,
                                              std::string_view url) {
    std::size_t separator = url.rfind('\\');
    if (separator == std::string_view::npos) separator = url.rfind('/');
    if (separator == std::string_view::npos) return std::nullopt;
    const std::string_view name = url.substr(separator + 1);
    // Only a backslash can precede such a "/"; with ".." behind it the file
    // would land outside the temporary directory.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    // Cut short, the path would name another file than the one the page meant.
    if (temp_directory.size() + name.size() > kMostInstallerPathChars) return std::nullopt;
    std::string path(temp_directory);
    path += name;
    return path;
}

void RunInstallCommand(ConsoleWindow& console, InstallKind kind, Ports& ports) {
    // Copied out at once: the waits below serve page events, which may
    // replace the parameter record.
    std::string url;
    if (!Lookup(console, "URL", url, "URL parameter not supplied for INSTALL command.")) return;
    std::string title;
    if (!Lookup(console, "TITLE", title, "TITLE parameter not supplied for INSTALL command.")) {
        return;
    }
    std::string restart = "0";
    console.params.Lookup("RESTART", restart);
    std::string question;
    const bool found =
        kind == InstallKind::Upgrade
            ? Lookup(console, "UPGRADECONFIRM", question,
                     "UPGRADECONFIRM parameter not supplied for INSTALL command.")
            : Lookup(console, "INSTALLCONFIRM", question,
                     "INSTALLCONFIRM parameter not supplied for INSTALL command.");
    if (!found) return;

    // The name is judged before the player is asked; the directory it goes
    // to is made only once the player has said yes.
    if (!InstallerLocalPath(ports.files->TempDirectory(), url)) {
        console.ShowMessage("URL parameter supplied is not valid", kCommandErrorCaption);
        return;
    }
    if (console.ShowMessage(question, "Confirm Download", MessageBoxButtons::YesNo) !=
        MessageBoxResult::Yes) {
        return;
    }
    const std::string directory = ports.files->PrivateDownloadDirectory();
    const std::optional<std::string> local_path =
        directory.empty() ? std::nullopt : InstallerLocalPath(directory, url);
    if (!local_path) {
        ReportLaunchFailure(console, kLaunchPathNotFound);
        return;
    }
    // A file already there was not downloaded by us: never start it.
    if (ports.files->CanOpen(*local_path)) {
        ReportLaunchFailure(console, kLaunchFileExists);
        return;
    }
    if (!Downloaded(console, ports, url, *local_path, title)) return;

    ProcessHandle handle = 0;
    std::uint32_t error = 0;
    if (!ports.files->MarkExecutable(*local_path)) {
        // Most often the download could not be written at all.
        ReportLaunchFailure(console, kLaunchFileNotFound);
        return;
    }
    if (!ports.processes->Start(StartPriority::Normal, *local_path, "", &handle, &error)) {
        ReportLaunchFailure(console, error);
        return;
    }
    const UniqueProcess installer(*ports.processes, handle);
    if (restart == "1") {
        console.EndConsole(0);
        return;
    }
    // Nothing is taken meanwhile: a click, key, close or page command could
    // end the console or start this installer's file again while it runs.
    ports.processes->WaitForExit(installer.get());
    BuildVersionReport(*ports.registry, console.versionReport);
    console.NavigateTo(console.lastUrl, "");
}

}  // namespace kx
