// The audio port factory: turns the stored "AudioPort" value or a type chosen from
// the menu into a port object, with its fall-back rules, and the matching
// destruction that stores the port type again.
//
// The ensemble is handed a factory (IAudioPortFactory). The program's is the standard
// one with the port kinds of the Audio Port menu; tests and the offline renderer hand
// in their own. Threading: user-interface thread only.
#pragma once
#include <cstdint>

#include "IAudioInOut.h"
#include "foundation/TParamStr.h"

class IAudioEnsemble;
class TAudioInOut;

class IAudioPortFactory {
public:
  virtual ~IAudioPortFactory() = default;
  // Type 0 uses the stored port. The port is subscribed to the ensemble's rate factor
  // and has every channel enabled. Null only when nothing could be built.
  virtual IAudioInOut* CreatePort(int32_t type, IAudioEnsemble* ensemble) = 0;
  // The port's destruction path (what it stores, its subscription), then deletes it.
  virtual void DestroyPort(IAudioInOut* port) = 0;
  // Whether the factory offers type (the enabled rule of the Audio Port menu).
  virtual bool IsAvailable(int32_t type) = 0;
};

// The factory of the stored port types: "AudioPort" is read and written, a failed
// preparation reports and falls back (3 to the null port, anything else to the
// multimedia port, which is then not prepared again).
class TAudioPortFactory : public IAudioPortFactory {
public:
  static constexpr int32_t typeCount = 10;
  // A port kind: its preparation (the device or driver check) and its construction.
  using TPreparePort = bool (*)();
  using TMakePort = TAudioInOut* (*)(IAudioEnsemble* ensemble);

  // The program's factory with its port kinds.
  static TAudioPortFactory& Standard();

  void Register(int32_t type, TPreparePort prepare, TMakePort make);
  void Unregister(int32_t type);

  IAudioInOut* CreatePort(int32_t type, IAudioEnsemble* ensemble) override;
  // Stores the port's type name in "AudioPort", "No" in "AudioRunning", deletes it.
  void DestroyPort(IAudioInOut* port) override;
  // A registered kind; the null port always.
  bool IsAvailable(int32_t type) override;

  // The name stored in "AudioPort" ("" for types without one).
  static const char* PortName(int32_t type);
  // The type of a stored name; an empty name counts as "MultiMedia"; unknown names 0.
  static int32_t TypeFromName(const TStr& name);

private:
  struct TKind {
    TPreparePort prepare = nullptr;
    TMakePort make = nullptr;
  };
  bool Prepare(int32_t type);
  TAudioInOut* Build(int32_t type, IAudioEnsemble* ensemble);

  TKind kinds[typeCount];
};

// The port model's two free operations, on the standard factory.
IAudioInOut* CreatePort(int32_t type, IAudioEnsemble* ensemble);
void DestroyPort(IAudioInOut* port);

// Subscribes port to the ensemble's rate factor and enables its 16 channels each
// way: what every factory does with a port it built.
void ConnectPort(TAudioInOut* port, IAudioEnsemble* ensemble);
// Removes that subscription.
void DisconnectPort(IAudioInOut* port);

namespace Msg {
extern TParamStr cannotOpenAudioPort;   // "Cannot open last used Audioport!"
extern TParamStr multiMediaSetupError;  // "Error setting up MultiMedia audioport!"
extern TParamStr noAsioDrivers;         // "ASIO drivers folder cannot be found ..."
}  // namespace Msg
