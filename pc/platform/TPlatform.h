// The platform installation of a program: every service that the model side reaches
// through an installed interface (files, thread priorities, the settings store, the
// library loader, the MIDI device layer, the wave device layer and the media timer, the
// driver port and its access library, the window toolkit with its frames, message
// boxes and file dialogs) is made and installed in one step, in the order the services
// need each other, and uninstalled in the opposite order.
//
// Threading: construct and destroy on the main thread, before any other thread of
// the program starts and after every one has ended.
#pragma once
#include <memory>
#include <string>

class IEventLoop;
class TMidiDeviceLayer;
class TWaveDeviceLayer;
class TMediaTimerThread;
class TQtUi;

class TPlatform {
public:
  struct TOptions {
    // The user's settings store ($XDG_CONFIG_HOME/Velmora); off for tools that read
    // files only.
    bool settings = true;
    // The library loader for plug-ins and the program's own libraries.
    bool libraries = true;
    // The MIDI device layer (ALSA sequencer, JACK, THUDRA_VIRTUAL_MIDI).
    bool midiDevices = true;
    // The driver port (the Audio Port menu's "&ASIO") over VMASIO.dll.
    bool asioPort = true;
    // The wave device layer (ALSA's PCMs) and the 4 ms media timer of the soundcard port.
    bool audioDevices = true;
    // The plug-in to host instead of Thudra.dll; its product check is skipped.
    std::string plugin;
    // The window toolkit on the X11 display of DISPLAY. When the display cannot be
    // opened the program runs without a window (GetWindowError says why).
    bool window = false;
  };

  explicit TPlatform(const TOptions& options);
  ~TPlatform();
  TPlatform(const TPlatform&) = delete;
  TPlatform& operator=(const TPlatform&) = delete;

  // Null when the options left the MIDI device layer out.
  TMidiDeviceLayer* GetMidiDevices() const { return midiDevices.get(); }
  // Null when the options left the wave device layer out.
  TWaveDeviceLayer* GetWaveDevices() const { return waveDevices.get(); }
  // The window toolkit's event loop; null without a window (the application object
  // then runs a headless loop of its own).
  IEventLoop* GetEventLoop() const;
  const std::string& GetWindowError() const { return windowError; }

private:
  std::unique_ptr<TQtUi> ui;
  std::string windowError;
  std::unique_ptr<TMidiDeviceLayer> midiDevices;
  std::unique_ptr<TWaveDeviceLayer> waveDevices;
  std::unique_ptr<TMediaTimerThread> mediaTimer;
  bool pluginChosen = false;
  bool asioRegistered = false;
};
