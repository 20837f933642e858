// The console's executable on a Linux desktop: the Linux parts of every port
// assembled around the core's entry function.
//
// Implements:
//  - the ports' Linux backends put together: the file registry, libcurl,
//    the Qt windows, browser and sound, processes and files, the game
//    services and the single instance on the session bus, the desktop
//    registration;
//  - an application without windows for the registration switches, which
//    may run where there is no desktop.

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

#include <cstdio>
#include <memory>

#include "app/console_dialog.h"
#include "account/console_session.h"
#include "base/identities.h"
#include "base/ports.h"
#include "app/startup.h"
#include "base/trace_log.h"
#include "platform/linux/bus_game_services.h"
#include "platform/linux/bus_session.h"
#include "platform/linux/bus_single_instance.h"
#include "platform/linux/curl_inet_api.h"
#include "platform/linux/debug_output_setting.h"
#include "platform/linux/desktop_registration.h"
#include "platform/linux/file_registry.h"
#include "platform/linux/linux_process_entry.h"
#include "platform/linux/local_com_server.h"
#include "platform/linux/file_state_store.h"
#include "platform/linux/posix_processes.h"
#include "platform/linux/qt/qt_browser.h"
#include "platform/linux/qt/qt_event_wait.h"
#include "platform/linux/qt/qt_sound.h"
#include "platform/linux/qt/qt_web_engine_setup.h"
#include "platform/linux/qt/qt_window_system.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/xdg_dirs.h"
#include "play/game_services.h"
#include "play/play_context.h"

namespace {

kx::BrowserControl MakeBrowser(QWidget* parent) {
    auto browser = std::make_unique<kx::QtBrowser>(parent);
    QWidget* widget = browser->Widget();
    auto* view = qobject_cast<QWebEngineView*>(widget);
    if (view == nullptr) view = widget->findChild<QWebEngineView*>();
    if (view != nullptr) {
        QObject::connect(view->page(), &QWebEnginePage::certificateError,
                         [](QWebEngineCertificateError error) {
                             kx::AcceptWhenExtraCaVouches(error);
                         });
    }
    return kx::BrowserControl{std::move(browser), widget};
}

// The registration switches run where there may be no desktop at all (an
// installer's shell), so they get an application without windows.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv) {
    kx::LinuxProcessEntry process;
    if (kx::ScanSwitches(process.CommandLine()) != kx::ServerSwitch::None) {
        return std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The web engine describes its set-up at every start; players need not read it.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    auto application = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName("Kestrix Console");
    QApplication::setDesktopFileName("velora");
    QApplication::setWindowIcon(QIcon(":/velora/velora.png"));
    // The console ends when its window does, not when the last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    return application;
}

// A second start hands the player over to this console: its window comes
// up, and a dialog running over it stays on top.
void RaiseConsoleWindow() {
    const QString title = QString::fromUtf8(kx::kConsoleWindowTitle.data(),
                                            static_cast<qsizetype>(kx::kConsoleWindowTitle.size()));
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() != title || !widget->isVisible()) continue;
        if (widget->isMinimized()) widget->showNormal();
        widget->raise();
        widget->activateWindow();
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: without pidfds SIGCHLD is blocked, and only threads made
    // after that inherit the block.
    const kx::ChildWatch child_watch = kx::ChooseChildWatch();
    if (!kx::InstallDebugOutputFromEnvironment()) {
        std::fprintf(stderr, "%s: the file cannot be opened; the debugger output goes nowhere\n",
                     kx::kDebugOutputVariable);
    }
    kx::FileRegistry registry(kx::FileRegistry::DefaultDirectory());
    const kx::CurlInetConfig inet_config = kx::ReadCurlInetConfig(registry);
    kx::PrepareWebEngine(inet_config.connect_to);

    const std::unique_ptr<QCoreApplication> application = MakeApplication(argc, argv);

    kx::TrustExtraCaFile(inet_config.ca_file);

    kx::CurlInetApi inet(inet_config);
    kx::QtWindowSystem windows(MakeBrowser);
    kx::SystemClock clock;
    kx::PosixProcesses processes(kx::WaitServingQtEvents, kx::WaitPaintingQtEvents, child_watch);
    kx::PosixFiles files;
    kx::QtSound sound;
    kx::FileStateStore states;

    kx::Ports ports;
    ports.registry = &registry;
    ports.inet = &inet;
    ports.windows = &windows;
    ports.clock = &clock;
    ports.processes = &processes;
    ports.files = &files;
    ports.sound = &sound;
    ports.states = &states;

    kx::BusSession bus;
    kx::BusGameServices game_services(
        bus, kx::GameServicesFactory(ports, kx::ThePlayContext(), kx::TheConsoleSession().strGameName),
        RaiseConsoleWindow);
    kx::BusSingleInstance single_instance(bus);
    kx::LinuxProcessEntry process;
    kx::DesktopRegistration type_libraries(kx::XdgBaseDirectory(kx::XdgBase::Data));
    kx::NoDllRegistration dlls;
    const kx::TraceFilePlaces trace_places = kx::TraceFileLocations();

    kx::StartupParts parts;
    parts.single_instance = &single_instance;
    parts.process = &process;
    parts.com = &game_services;
    parts.registry = &registry;
    parts.type_libraries = &type_libraries;
    parts.dlls = &dlls;
    parts.windows = &windows;
    parts.clock = &clock;
    parts.trace_log = &kx::TheTraceLog();
    parts.trace_file = trace_places.primary;
    parts.trace_fallback = trace_places.fallback;

    return kx::ConsoleMain(parts, [&](kx::WindowId owner) {
        kx::ConsoleSession& session = kx::TheConsoleSession();
        kx::ConsoleDialog console(ports, session);
        console.RunModal(windows, owner);
    });
}
