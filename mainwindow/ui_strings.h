// Every text of the user interface: captions, read-out initial texts, state
// texts, the tray tip and menu, the single-instance box, in one place. UTF-8 on
// every system; the Windows backend hands them to the wide calls.
#pragma once

namespace ui_strings {

// Window identity.
inline constexpr const char* kWindowClassName = "win";
inline constexpr const char* kWindowTitle = "Tarvel-Omnix";
// Tray tip, single-instance name and the box shown to a second copy.
inline constexpr const char* kTrayTip = "ZendraTarvel-Omnix";
inline constexpr const char* kInstanceName = "Tarvel-Omnix";
inline constexpr const char* kAlreadyRunningText = "すでに起動しています";
inline constexpr const char* kAlreadyRunningCaption = "ZendraTarvel-Omnix";
// The box after a save through the dialog failed; the system's reason follows on a line of its
// own.
inline constexpr const char* kSaveFailed = "設定ファイルを保存できませんでした";
// The box after a settings file could not be used (chosen in the dialog, or at start); the file
// and what is wrong with it follow on lines of their own.
inline constexpr const char* kLoadFailed = "設定ファイルを読み込めませんでした";
// A file dialog whose chosen path was too long to be handed back.
inline constexpr const char* kPathTooLong = "ファイルのパスが長すぎます";

// Tray menu.
inline constexpr const char* kMenuShow = "表示";
inline constexpr const char* kMenuGraph = "グラフ";
inline constexpr const char* kMenuExit = "終了";

// Button captions.
inline constexpr const char* kToggle = "∵";
inline constexpr const char* kPlus = "＋";
inline constexpr const char* kMinus = "－";
inline constexpr const char* kCalibration = "キャリブレーション";
inline constexpr const char* kMaxReset = "最大値リセット";
inline constexpr const char* kStepReset = "リセット";
inline constexpr const char* kSettingsLoad = "設定ファイル読込";
inline constexpr const char* kSettingsSave = "設定ファイル保存";

// Fixed labels.
inline constexpr const char* kCom = "COM：";
inline constexpr const char* kSensorValues = "各センサ値：";
inline constexpr const char* kSlash = "/";
inline constexpr const char* kUpperAverage = "上部センサ平均値：";
inline constexpr const char* kLowerAverage = "下部センサ平均値：";
inline constexpr const char* kLeftAverage = "左側：";
inline constexpr const char* kRightAverage = "右側：";
inline constexpr const char* kLowerMovingAverage = "下部センサ移動平均値：";
inline constexpr const char* kDirection = "進行方向(x, y)：";
inline constexpr const char* kComma = ",";
inline constexpr const char* kAngle = "角度[deg]：";
inline constexpr const char* kTurnThreshold = "前進・旋回／横移動判定閾値：";
inline constexpr const char* kWalkFThreshold = "歩行動作判定閾値：";
inline constexpr const char* kWalkSpeed = "歩行速度：";
inline constexpr const char* kWalkSpeedFB = "前：";
inline constexpr const char* kWalkSpeedLR = "左右：";
inline constexpr const char* kRotationSpeed = "旋回速度：";
inline constexpr const char* kStepUnit = "歩";
inline constexpr const char* kPlusSign = "+";
inline constexpr const char* kMinusSign = "-";

// Initial texts of the read-outs, replaced by the first refresh.
inline constexpr const char* kSensorInitial = "000.0";
inline constexpr const char* kAverageInitial = "0.000";
inline constexpr const char* kAngleInitial = "0.000：";
inline constexpr const char* kThresholdInitial = "00.0";
inline constexpr const char* kSpeedInitial = "0.00";
inline constexpr const char* kStepCountInitial = "0000000";
inline constexpr const char* kStepCountReset = "0";

// Texts that follow the state.
inline constexpr const char* kConnected = "・・・接続済";
inline constexpr const char* kNotConnected = "・・・未接続";
// Connected, but no frame arrives (the platform was unplugged or is silent).
inline constexpr const char* kNoData = "・・・データなし";
// Frames were lost or came too late to be sent (the program was held up), shown for a while.
inline constexpr const char* kDataLost = "・・・データ欠落";
inline constexpr const char* kVrMode = "VRモード　　　　　　";
inline constexpr const char* kDesktopMode = "デスクトップモード";
inline constexpr const char* kSideStepMode = "前進・横歩きモード";
inline constexpr const char* kTurnMode = "前進・旋回モード　　";
inline constexpr const char* kAutoCalibrationOn = "自動キャリブレーション：有効";
inline constexpr const char* kAutoCalibrationOff = "自動キャリブレーション：無効";
inline constexpr const char* kOscOn = "OSC出力：有効";
inline constexpr const char* kOscOff = "OSC出力：無効";
inline constexpr const char* kXrOn = "XR出力：有効";
inline constexpr const char* kXrOff = "XR出力：無効";
// The line under it: which game reads the walk, and where it goes or why nowhere.
inline constexpr const char* kXrStatusPrefix = "XR：";
inline constexpr const char* kXrNoGame = "XR：接続なし";
inline constexpr const char* kXrArrow = " ← ";
inline constexpr const char* kXrLeft = "左";
inline constexpr const char* kXrRight = "右";
inline constexpr const char* kXrStick = "スティック";
inline constexpr const char* kXrTrackpad = "トラックパッド";
inline constexpr const char* kXrNoProfile = "コントローラー未確定";
inline constexpr const char* kXrNoStickBinding = "スティックの割り当てなし";
inline constexpr const char* kXrSimpleController = "スティックのないコントローラー";
inline constexpr const char* kXrDisabled = "無効（DISABLE_TARVEL_XR_LAYER）";
inline constexpr const char* kXrNoWalk = "歩行データなし";
inline constexpr const char* kXrPaused = "一時停止（メニュー／非フォーカス）";
inline constexpr const char* kXrBusy = "XR：別のtarvelが出力中";
inline constexpr const char* kXrNotPrivate = "XR：共有フォルダが他人のもの";
inline constexpr const char* kXrUnavailable = "XR：ブロックを作れません";
inline constexpr const char* kSteamVrOn = "SteamVR：登録";
inline constexpr const char* kSteamVrOff = "SteamVR：未登録";

// The graph window: identity, the recorder's switch and its states, headings, axes and the
// names of the angle bands (the emulation's rows, from left to right).
inline constexpr const char* kGraphClassName = "graph";
inline constexpr const char* kGraphPlotClassName = "graphplot";
inline constexpr const char* kGraphTitle = "Tarvel-Omnix グラフ";
inline constexpr const char* kRecord = "記録";
inline constexpr const char* kRecordIdle = "記録：停止中";
inline constexpr const char* kRecording = "記録中：";
inline constexpr const char* kRecordSaved = "記録を保存しました：";
inline constexpr const char* kRecordFailed = "記録できません：";
inline constexpr const char* kRecordLost = "　欠落：";
inline constexpr const char* kBytes = "バイト";
inline constexpr const char* kGraphLowerMovingAverage = "下部センサ移動平均値";
inline constexpr const char* kGraphWalkFThreshold = "歩行動作判定閾値";
inline constexpr const char* kGraphWalking = "歩行中";
inline constexpr const char* kGraphAngle = "角度[deg]";
inline constexpr const char* kGraphRows[5] = {"左横・左旋回", "左前", "前進", "右前",
                                              "右横・右旋回"};
inline constexpr const char* kGraphAngleTicks[3] = {"+50", "0", "-50"};
inline constexpr const char* kGraphTimeTicks[3] = {"-10s", "-5s", "0s"};
inline constexpr const char* kGraphCadence = "歩調[歩/分]：";
inline constexpr const char* kGraphForward = "前進出力：";
inline constexpr const char* kGraphCadenceTicks[3] = {"240", "120", "0"};
inline constexpr const char* kGraphForwardTicks[3] = {"1.0", "0.5", "0"};

}  // namespace ui_strings
