// The command ids of the host: the menu items of resource 7000, the commands
// without a menu entry, the recent-file items and the Audio Port submenu's items.
#pragma once
#include <cstdint>

namespace Command {
constexpr int32_t reloadPlug = 1000;
constexpr int32_t openSession = 1001;
constexpr int32_t saveSession = 1002;
constexpr int32_t saveSessionAs = 1003;
constexpr int32_t noEffect1004 = 1004;
constexpr int32_t openMidiFile = 1010;
constexpr int32_t saveKit = 1011;
constexpr int32_t loadKit = 1012;
constexpr int32_t recentSeparator = 1020;
constexpr int32_t firstRecent = 1021;
constexpr int32_t lastRecent = 1030;
constexpr int32_t togglePlayback = 1155;
constexpr int32_t toggleLoop = 1156;
constexpr int32_t toggleSync = 1157;
constexpr int32_t toggleAudio = 1200;
constexpr int32_t never1201 = 1201;
constexpr int32_t audioSettings = 1203;
constexpr int32_t audioRouting = 1204;
constexpr int32_t midiSettings = 1205;
constexpr int32_t noEffect1206 = 1206;
constexpr int32_t recorderPanel = 1207;
// The Audio Port submenu: one item per port type; only 1212 and 1214 are in the menu.
constexpr int32_t portOrbBoard = 1210;
constexpr int32_t portAudioWerk = 1211;
constexpr int32_t portSoundcard = 1212;
constexpr int32_t portActiveMovie = 1213;
constexpr int32_t portAsio = 1214;
constexpr int32_t portMacAudio = 1215;
constexpr int32_t portMacDTDM = 1216;
constexpr int32_t portMacMAS = 1217;
constexpr int32_t noEffect1300 = 1300;
constexpr int32_t about = 1302;
constexpr int32_t exit = 24310;
}  // namespace Command
