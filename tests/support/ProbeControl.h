// The probe plug-in: a VST 2 instrument for the host's tests that records every
// call it receives and every answer it gets from the host, and whose behaviour the
// test chooses before the host loads it.
//
// Libraries (built only with the tests):
//   ${build}/tests/probe/libprobe.so         exports main, VSTPluginMain and Probe*
//   ${build}/tests/probe/libprobe_nomain.so  the same without the "main" export
// Tests that run the host copy one of them into a program folder as Thudra.dll.
// THUDRA_PROBE_LIBRARY and THUDRA_PROBE_NOMAIN_LIBRARY (compile definitions of the
// thudra_test_support library) hold their paths.
//
// ---- Switches -------------------------------------------------------------------
// Each switch is an environment variable, read when the entry (main or VSTPluginMain)
// is called; ProbeSet() overrides it in-process (set it before the host calls the
// entry). Unset or empty means the default.
//
//   THUDRA_PROBE_LOG=<path>        also append every record line to this file (opened,
//                                  written and flushed line by line), and write "unload"
//                                  when the library is unloaded: the only way to read
//                                  the record of a host running in another process.
//   THUDRA_PROBE_PRODUCT=exact|suffix|other
//                                  effGetProductString answers "Thudra - 54 channel
//                                  professional drum sampler" (default), the same with
//                                  " 2" appended, or "Probe Instrument".
//   THUDRA_PROBE_PRODUCT_TEXT=<t>  answer exactly <t> (wins over THUDRA_PROBE_PRODUCT).
//   THUDRA_PROBE_NO_EDITOR=1       no editor flag, effEditGetRect answers 0.
//   THUDRA_PROBE_CHUNK=echo|empty|fixed
//                                  effGetChunk answers: echo (default) the bytes of
//                                  the last accepted effSetChunk, at first the 16 bytes
//                                  "THUDRA-PROBE-001"; empty: size 0; fixed: 64 bytes,
//                                  byte i = (i * 7 + 3) & 0xFF. effSetChunk accepts any
//                                  size > 0 (answer 1) and refuses size <= 0 (answer 0).
//   THUDRA_PROBE_MAIN_NULL=1       the entry records "main" and answers null.
//   THUDRA_PROBE_CALL_IN_MAIN=1    inside the entry, before the effect record exists,
//                                  call the host with a null effect: audioMasterVersion,
//                                  audioMasterIdle, audioMasterGetTime,
//                                  audioMasterProcessEvents (one note), audioMasterSizeWindow
//                                  (400, 300), audioMasterCanDo "sizeWindow";
//                                  recorded as "call-in-main" lines.
//   THUDRA_PROBE_ASK_HOST=1        at effOpen: audioMasterVersion, GetVendorString,
//                                  GetProductString, GetVendorVersion, CanDo
//                                  "sizeWindow", "sendVstTimeInfo", "SizeWindow",
//                                  "receiveVstEvents", and GetTime; recorded as callbacks.
//   THUDRA_PROBE_SIZE_REQUEST=<w>x<h>[@<idle>][,...]
//                                  audioMasterSizeWindow, index w, value h (either may
//                                  be negative): without @ at the first idle call
//                                  (effIdle or effEditIdle), with @<idle> at the
//                                  <idle>-th effIdle call (1-based).
//   THUDRA_PROBE_EVENTS_OUT=<n>    at the first idle call: one audioMasterProcessEvents
//                                  with n MIDI events: event i has delta i, bytes
//                                  0x93, 60 + i (mod 128), 100, 0.
//   THUDRA_PROBE_COMMANDS=<list>   tape and player commands sent at given idle calls.
//                                  A comma-separated list of <idle>:t<code> (tape) or
//                                  <idle>:p<code>[:<loop>] (player): at the <idle>-th
//                                  effIdle call (1-based) the command record is sent
//                                  with audioMasterVendorSpecific (index 1 tape, 0 player).
//   THUDRA_PROBE_FOLDER=<path>     the record's folder (default: the current directory).
//   THUDRA_PROBE_FILE=<name>       the record's file name (default "probe take.wav").
//   THUDRA_PROBE_NEW_NAME=<name>   the record's new name (default "probe renamed.wav").
//   THUDRA_PROBE_FILE_TYPE=<n>     the record's file type (default 4, WAV).
//   THUDRA_PROBE_GET_TIME=1        call audioMasterGetTime in every processReplacing.
//   THUDRA_PROBE_SLOW_US=<n>       processReplacing spins for n microseconds.
//   THUDRA_PROBE_SIGNAL=silence|ramp|through
//                                  what processReplacing writes: zeros (default); on
//                                  every output channel c the value
//                                  ((frame + c) % 200 - 100) / 256.0f where frame counts
//                                  all frames processed so far; or the inputs copied
//                                  (channel c from input c).
//
// ---- The record -------------------------------------------------------------------
// One line per event, in order, each ending in '\n'. Numbers are decimal unless shown
// with 0x; floats are printed with "%g"; strings in double quotes, as they are.
//
//   main                                   the entry was called
//   main-null                              ... and answered null (THUDRA_PROBE_MAIN_NULL)
//   call-in-main op=<op> answer=<a>        a host call made inside the entry
//   dispatch op=<op> name=<effName> index=<i> value=<v> opt=<g>[ <extra>]
//       every dispatcher call; <extra> by opcode:
//         effGetProductString   text="<what the probe answered>"
//         effSetProgramName     text="<the text>"
//         effGetProgramName     text="<answered>"
//         effEditGetRect        rect=<top>,<left>,<bottom>,<right> | rect=none
//         effEditOpen           window=0x<hex>
//         effSetChunk           size=<n> fnv=<16 hex digits> bytes=<hex, at most 256 bytes>
//         effGetChunk           size=<n> fnv=<16 hex digits>
//         effProcessEvents      events=<n>[ <delta>:<4 hex bytes>]...   (MIDI events; other
//                               types appear as <delta>:type<t>)
//         effCanDo, effString2Parameter     text="<the text>"
//         effEditKeyDown / effEditKeyUp     key=<character as a number>
//   process frames=<n> events=<k>[ <delta>:<4 hex bytes>]...
//       processReplacing; the events are those delivered since the previous process call
//   accumulate frames=<n>                  the accumulating process entry
//   setParameter index=<i> value=<g>
//   getParameter index=<i>
//   callback op=<op> index=<i> value=<v> answer=<a>[ <extra>]
//       every host call after the entry returned; <extra>:
//         audioMasterGetTime (answer not 0): time samplePos=<g> sampleRate=<g> ppq=<g>
//             tempo=<g> num=<n> den=<n> flags=0x<hex>
//         string requests: text="<what the host wrote>"
//         audioMasterCanDo: ask="<the string>"
//         audioMasterVendorSpecific: tape|player sent=<code> answered position=<g>
//             recordMode=<n> playMode=<n> (tape) | playerPosition=<g> length=<g> (player)
//             sampleRate=<n> playerActive=<n> paused=<n> playerStopped=<n> loop=<n>
//             fileName="<s>" folder="<s>" fileType=<n>
//   unload                                 (log file only) the library was unloaded
//
// The in-process record holds at most 16 MiB; further lines are counted, and the
// line "overflow <n>" ends the record.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// The whole record so far. The text stays valid until the next call of any Probe
// function.
const char* ProbeGetRecord(void);
void ProbeClearRecord(void);
// Overrides a switch by its environment name (a null value removes the override).
void ProbeSet(const char* name, const char* value);
// Drops every override (the environment applies again at the next entry call).
void ProbeResetSwitches(void);
// Sends `count` MIDI events to the host now (as THUDRA_PROBE_EVENTS_OUT describes);
// answers the host's answer, or -1 without a live effect.
long ProbeSendEvents(int count);
// Sends a tape (transport 1) or player (transport 0) command record now, with the
// folder, file name and new name given (null: the switch's value). Answers the
// host's answer, or -1 without a live effect. The answers are in the record.
long ProbeSendCommand(int transport, int command, const char* folder, const char* fileName,
                      const char* newName, int loop);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
// For dlsym.
using ProbeGetRecordProc = const char* (*)();
using ProbeClearRecordProc = void (*)();
using ProbeSetProc = void (*)(const char*, const char*);
using ProbeResetSwitchesProc = void (*)();
using ProbeSendEventsProc = long (*)(int);
using ProbeSendCommandProc = long (*)(int, int, const char*, const char*, const char*, int);
#endif
