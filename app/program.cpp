// Start-up, main loop and shutdown of the program.
#include "app/program.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "analysis/walk_state.h"
#include "app/frame_pass.h"
#include "app/main_loop.h"
#include "app/pass_watchdog.h"
#include "app/refresh_pace.h"
#include "app/xr_status_watch.h"
#include "link/sensor_link.h"
#include "link/stream_recorder.h"
#include "mainwindow/ui_strings.h"
#include "mainwindow/uiex.h"
#include "output/input_emulator.h"
#include "output/osc_output.h"
#include "output/telemetry.h"
#include "output/xr_output.h"
#include "platform/desktop_session.h"
#include "platform/modal_idle.h"
#include "platform/single_instance.h"
#include "platform/steamvr_paths.h"
#include "platform/termination.h"
#include "platform/window_system.h"
#include "steamvr/registration.h"

namespace s = ui_strings;

namespace {
// The pace of the passes while no frames arrive: the platform's own 100 frames a second for the
// first second, then ten a second. A platform that is unplugged or switched off then costs a
// tenth of the wake-ups; its return is taken up within 0.1 s.
constexpr int kRestPassPeriodMs = 10;
constexpr int kLongRestPassPeriodMs = 100;
constexpr auto kShortRest = std::chrono::seconds(1);
// How long the status shows that frames were lost or held back.
constexpr auto kLossShown = std::chrono::seconds(5);
}  // namespace

int runProgram(const ProgramOptions& options) {
    // Declared first so that it is let go last, after the exit save: a copy
    // started meanwhile must find the saved file.
    platform::SingleInstanceGuard guard;
    auto ui = std::make_unique<UIEx>();

    platform::WindowSystem& ws = platform::windowSystem();
    if (!guard.acquire(options.instanceName)) {
        // The running copy shows its window too, wherever it was hidden: its tray icon may be
        // out of reach.
        if (ws.available()) {
            ws.commandOtherCopy(s::kWindowClassName, s::kWindowTitle, UIEx::kMenuShowWindow);
            ws.messageBox(0, s::kAlreadyRunningText, s::kAlreadyRunningCaption, platform::kMbOk);
        } else {
            std::fprintf(stderr, "%s\n", s::kAlreadyRunningText);
        }
        return 0;  // the main window object goes without saving: nothing was loaded
    }
    if (!ws.available()) {
        std::fprintf(stderr, "tarvel: cannot open the display (is DISPLAY set?)\n");
        return 1;
    }
    platform::watchTerminationRequests(ws);

    // Centred on the primary screen.
    const platform::Size screen = ws.screenSize();
    const auto y = static_cast<std::int32_t>(screen.cy * 0.5 - 237.5);
    const auto x = static_cast<std::int32_t>(screen.cx * 0.5 - 220.0);
    ui->createMainWindow(0, UIEx::kIconId, platform::kIdcArrow, UIEx::kBackground,
                         s::kWindowClassName, s::kWindowTitle, UIEx::kStyle, x, y, UIEx::kWidth,
                         UIEx::kHeight);
    if (ui->hwnd == 0) {
        std::fprintf(stderr, "tarvel: cannot create the main window\n");
        platform::stopWatchingTerminationRequests();
        return 1;
    }
    ui->id = 0;

    platform::TrayIcon trayIcon;
    trayIcon.window = ui->hwnd;
    trayIcon.id = 0;
    trayIcon.callbackMessage = platform::kWmTrayIcon;
    trayIcon.iconId = UIEx::kIconId;
    trayIcon.tip = s::kTrayTip;
    ws.addTrayIcon(trayIcon);

    SensorLink& link = SensorLink::instance();
    WalkState& state = WalkState::instance();
    const std::string settingsNote = loadStartSettings(state);
    ui->saveSettingsOnDestroy = true;
    if (state.appMode == 1) {
        if (const char* limit = platform::keyEmulationLimit()) {
            std::fprintf(stderr, "tarvel: %s\n", limit);
        }
    }
    // If the process is ended from outside the loop (session end, display
    // lost), the settings are still saved, and a recording is written out.
    StreamRecorder& recorder = StreamRecorder::instance();
    platform::setLastChanceHandler([&state, &recorder] {
        saveExitSettings(state);
        recorder.stop();
    });
    // Started before the port opens, so that the recording holds the stream from its first byte.
    if (!options.recordPath.empty()) recorder.start(options.recordPath);
    setSensorPortDevice(options.portDevice);
    openSensorPort(state.comID);
    ui->steamVrSwitch.registered = [] {
        return steamvr::registrationOf(platform::openVrPathsFile(),
                                       steamvr::installedDriverFolder()) ==
               steamvr::Registration::Registered;
    };
    ui->steamVrSwitch.set = [](bool on) {
        const std::string folder = steamvr::installedDriverFolder();
        if (!folder.empty()) steamvr::setRegistration(platform::openVrPathsFile(), folder, on);
    };
    ui->buildWidgets(0);

    TelemetrySender telemetry;
    telemetry.open(options.telemetryPort);

    // Placed before the first showing, whether or not the window system
    // reports a size then.
    ui->layoutWidgets();
    if (!(options.startHidden && ws.trayAvailable())) {
        ui->shown = true;
        ws.showWindow(ui->hwnd, platform::kSwShow);
    }

    std::unique_ptr<platform::InputInjector> ownInjector;
    platform::InputInjector* injector = options.injector;
    if (injector == nullptr) {
        ownInjector = platform::createInputInjector();
        injector = ownInjector.get();
    }
    InputEmulator emulator(*injector);
    emulator.prepare(state);
    OscOutput osc;
    XrOutput xr;
    XrStatusWatch xrWatch;
    FramePass framePass(link, state, telemetry, &osc);
    // The graph keeps every analysed frame (it does nothing while its window is closed).
    framePass.afterFrame = [&state, &ui](std::uint32_t frame,
                                         FramePass::Clock::time_point arrival) {
        ui->graphWindow.sample(state, frame, arrival);
    };
    // Each loss on standard error, and for a while in the window's status.
    FramePass::Clock::time_point lossShownUntil{};
    framePass.onLoss = [&lossShownUntil](const std::string& line) {
        std::fprintf(stderr, "tarvel: %s\n", line.c_str());
        lossShownUntil = FramePass::Clock::now() + kLossShown;
    };
    // Stands in for the passes while this thread is held up.
    PassWatchdog watchdog(options.telemetryPort);
    // Saved first, the game's axes zeroed and the driver told that nobody walks next: letting go
    // of the keys may fail with the display gone.
    platform::setLastChanceHandler([&state, &emulator, &osc, &xr, &recorder, &framePass] {
        saveExitSettings(state);
        recorder.stop();
        osc.stop();
        xr.stop();
        framePass.sendRest();
        emulator.releaseAll();
    });

    LoopSteps steps;
    RefreshPace refreshPace;
    int trayWaitMs = -1;
    steps.refresh = [&] {
        const RefreshPace::Clock::time_point now = RefreshPace::Clock::now();
        trayWaitMs = ui->watchTray(now);
        if (!refreshPace.due(now)) return;
        xrWatch.poll(xr, *ui);
        ui->refreshDisplay();
        ui->graphWindow.refresh(now);
    };
    // The sooner of an owed refresh and the tray watch's next check.
    steps.idleWaitMs = [&] {
        const int owed = refreshPace.owedMs(RefreshPace::Clock::now());
        return owed < 0 || (trayWaitMs >= 0 && trayWaitMs < owed) ? trayWaitMs : owed;
    };
    steps.connected = [&] { return link.connected; };
    bool arriving = false;
    FramePass::Clock::time_point restingSince = FramePass::Clock::now();
    auto restPassPeriodMs = [&] {
        return FramePass::Clock::now() - restingSince < kShortRest ? kRestPassPeriodMs
                                                                   : kLongRestPassPeriodMs;
    };
    // Inside a modal dialog or menu the key emulation holds nothing and presses nothing.
    auto pass = [&](bool emulate) {
        const FramePass::Clock::time_point now = FramePass::Clock::now();
        const bool wasArriving = arriving;
        arriving = framePass.run(now);
        if (wasArriving && !arriving) restingSince = now;
        watchdog.passed(state, arriving);
        xr.update(state, framePass.frameCount(), arriving);
        ui->showLinkStatus(arriving, now < lossShownUntil);
        if (emulate) emulator.step(state);
    };
    steps.pass = [&] { pass(true); };
    steps.modalPass = [&] { pass(false); };
    steps.releaseInput = [&] { emulator.releaseAll(); };
    // While no frames arrive, the results at rest go out at the pace above, and the loop waits
    // for messages meanwhile instead of turning.
    steps.pause = [&] {
        if (arriving) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else {
            ws.waitMessage(restPassPeriodMs());
        }
    };
    steps.modalPauseMs = [&] { return arriving ? 1 : restPassPeriodMs(); };
    steps.exitRequested = [] { return platform::terminationRequested(); };
    steps.exit = [&] { ui->exitProgram(); };
    // The platform's modal dialogs and menus keep the loop going while they are open.
    platform::setModalIdle(
        [&](platform::ModalQueue queue) { return runModalTurn(ws, steps, queue); });
    // A settings file that could not be used is told once, in a box (a program started from
    // the desktop has no stderr to read), while the passes go on behind it.
    if (!settingsNote.empty()) {
        std::string text = std::string(s::kLoadFailed) + "\n" + settingsNote;
        const std::size_t consequence = text.rfind("; it is left");
        if (consequence != std::string::npos) text.replace(consequence, 2, ";\n");
        ws.messageBox(ui->shown ? ui->hwnd : 0, text, s::kTrayTip, platform::kMbOk);
    }
    const int exitCode = runMainLoop(ws, steps);
    platform::setModalIdle(nullptr);
    watchdog.passed(state, false);
    // No key or button stays down in other programs once this one is gone, and no avatar
    // walks on in a game.
    osc.stop();
    xr.stop();
    framePass.sendRest();
    emulator.releaseAll();

    // No pass runs any more: the reader can go before the settings are saved, and with it the
    // last bytes of a recording, which is written out next.
    stopSensorReader();
    recorder.stop();
    telemetry.close();
    platform::setLastChanceHandler(nullptr);
    ui.reset();  // saves ./tarvel.ini
    guard.release();
    platform::stopWatchingTerminationRequests();
    return exitCode;
}
