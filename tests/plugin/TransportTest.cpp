// The Shift-key shortcuts: each letter sends its tape or player command records to
// the host through audioMasterVendorSpecific, here to a small simulated recorder
// that answers the way the host's transports do.
#include <fstream>

#include "InstrumentFixture.h"
#include "audio/THDRecordingPrp.h"

namespace {

struct TSent {
  int index;  // 1 tape, 0 player
  int command;
  std::string fileName;
  std::string folder;
  int fileType;
  int loop;
  bool operator==(const TSent& o) const { return index == o.index && command == o.command; }
};

std::string Describe(const std::vector<TSent>& sent) {
  std::string text;
  for (const TSent& s : sent) text += (s.index == 1 ? " t" : " p") + std::to_string(s.command);
  return text;
}

// Enough of the tape and the player to answer the instrument's commands.
class TSimulatedRecorder {
public:
  std::vector<TSent> sent;
  bool emptyNameOnStatus = false;  // answer Status by clearing the file name

  VstIntPtr Answer(VstInt32 index, THDRecordingPrp& r) {
    sent.push_back({index, r.command, r.fileName.Text(), r.folder.Text(), r.fileType, r.loop});
    if (index == THDRecordingPrp::tapeIndex) Tape(r);
    if (index == THDRecordingPrp::playerIndex) Player(r);
    return 0;
  }

private:
  void Tape(THDRecordingPrp& r) {
    switch (r.command) {
      case THDRecordingPrp::tapeRecord:
        if (!r.folder.IsEmpty() && !playing) {
          armed = true;
          std::ofstream(std::string(r.folder.Text()) + "/" + r.fileName.Text());
        }
        break;
      case THDRecordingPrp::tapePause:
        if (armed) {
          armed = false;
          recording = true;
        } else if (recording) {
          recording = false;
          armed = true;
        }
        break;
      case THDRecordingPrp::tapeStop: armed = recording = playing = false; break;
      case THDRecordingPrp::tapePlay: playing = !armed && !recording; break;
      case THDRecordingPrp::tapeNewFile: r.fileName = "untitled Audiofile.wav"; break;
      case THDRecordingPrp::tapeStatus:
        r.recordMode = armed || recording;
        r.playMode = playing;
        r.paused = armed;
        r.position = 1.5f;
        if (emptyNameOnStatus) r.fileName = TStr();
        break;
      default: break;
    }
  }
  void Player(THDRecordingPrp& r) {
    switch (r.command) {
      case THDRecordingPrp::playerLoad:
        r.length = 2.5f;
        r.sampleRate = 44100;
        break;
      case THDRecordingPrp::playerPlay:
        playerRunning = true;
        r.playerActive = 1;
        break;
      case THDRecordingPrp::playerPause: playerRunning = !playerRunning; break;
      case THDRecordingPrp::playerStatus:
        r.playerActive = 1;
        r.paused = !playerRunning;
        break;
      default: break;
    }
  }
  bool armed = false, recording = false, playing = false, playerRunning = false;
};

class TTransport : public TInstrumentTest {
protected:
  void SetUp() override {
    TInstrumentTest::SetUp();
    plugin->SetHostAnswer([this](AEffect*, VstInt32 op, VstInt32 index, VstIntPtr, void* ptr, float) -> VstIntPtr {
      if (op == audioMasterVendorSpecific && ptr) return recorder.Answer(index, *static_cast<THDRecordingPrp*>(ptr));
      return 0;
    });
  }

  // Presses the key and answers what it sent.
  std::vector<TSent> Key(char key) {
    recorder.sent.clear();
    EXPECT_EQ(plugin->Dispatch(effEditKeyDown, key, 0, nullptr, 1.0f), 1) << key;
    return recorder.sent;
  }

  std::string Folder() const { return (home / "Music" / "Thudra Recordings").string(); }

  TSimulatedRecorder recorder;
};

TSent T(int command) { return {1, command, {}, {}, 0, 0}; }
TSent P(int command) { return {0, command, {}, {}, 0, 0}; }

TEST_F(TTransport, EveryShiftKeySendsItsCommands) {
  struct TStep {
    char key;
    std::vector<TSent> expected;
  };
  const TStep steps[] = {
      {'q', {T(0), T(7), T(1), T(7)}},  // Record arms, then rolls
      {'w', {T(1), T(7)}},              // tape Pause
      {'w', {T(1), T(7)}},              // ... and resume
      {'e', {T(7), T(2), T(7)}},        // tape Stop
      {'r', {T(3), T(7)}},              // tape Play of the take
      {'e', {T(7), T(2), T(7)}},
      {'x', {T(6), T(7)}},              // New File
      {'v', {T(7)}},                    // Status refresh
      {'a', {P(5), P(6)}},              // player Load of the last take
      {'s', {P(1), P(6)}},              // player Play
      {'d', {P(2), P(6)}},              // player Pause
      {'f', {P(4), P(6)}},              // player Rewind
      {'c', {P(3)}},                    // Loop on
      {'c', {P(3)}},                    // ... and off
  };
  for (const TStep& step : steps) {
    const std::vector<TSent> sent = Key(step.key);
    EXPECT_EQ(sent, step.expected) << step.key << ":" << Describe(sent);
  }
}

TEST_F(TTransport, RecordsGoToNumberedTakesInTheRecordingFolder) {
  const auto first = Key('q');
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first[0].fileName, "Take 001.wav");
  EXPECT_EQ(first[0].folder, Folder());
  EXPECT_EQ(first[0].fileType, 4);
  EXPECT_TRUE(std::filesystem::is_directory(Folder())) << "the folder is made when missing";
  Key('e');
  // The player and the tape play the last take; the next recording gets a new name.
  EXPECT_EQ(Key('a')[0].fileName, "Take 001.wav");
  EXPECT_EQ(Key('r')[0].fileName, "Take 001.wav");
  Key('e');
  EXPECT_EQ(Key('q')[0].fileName, "Take 002.wav");
  Key('e');
  const auto loop = Key('c');
  ASSERT_EQ(loop.size(), 1u);
  EXPECT_EQ(loop[0].loop, 1);
  EXPECT_EQ(Key('c')[0].loop, 0);
}

TEST_F(TTransport, NewFileAdoptsTheNameTheHostAnswers) {
  Key('x');
  const auto record = Key('q');
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(record[0].fileName, "untitled Audiofile.wav");
}

TEST_F(TTransport, PlayerPlayLoadsTheLastTakeFirst) {
  Key('q');
  Key('e');
  const auto sent = Key('s');
  EXPECT_EQ(sent, (std::vector<TSent>{P(5), P(6), P(1), P(6)})) << Describe(sent);
  EXPECT_EQ(sent[0].fileName, "Take 001.wav");
  // Nothing recorded yet: nothing to load, nothing sent.
  TTestPlugin fresh(THUDRA_PLUGIN_LIBRARY);
  ASSERT_TRUE(fresh.Load());
  fresh.Start();
  EXPECT_EQ(fresh.Dispatch(effEditKeyDown, 's', 0, nullptr, 1.0f), 1);
  for (const THostCall& call : fresh.HostCalls()) EXPECT_NE(call.opcode, audioMasterVendorSpecific);
}

TEST_F(TTransport, OtherKeysAreNotTaken) {
  for (int key : {int{'Q'}, int{'z'}, int{'g'}, int{'1'}, int{' '}, 0, -1, 300})
    EXPECT_EQ(plugin->Dispatch(effEditKeyDown, key, 0, nullptr, 1.0f), 0) << key;
  EXPECT_TRUE(recorder.sent.empty());
}

// While the tape runs, every idle call asks for its status; once it stops, none.
TEST_F(TTransport, IdleCallsPollTheTapeWhileItRuns) {
  Key('q');
  recorder.sent.clear();
  for (int i = 0; i < 3; ++i) plugin->Dispatch(effIdle);
  EXPECT_EQ(recorder.sent, (std::vector<TSent>{T(7), T(7), T(7)})) << Describe(recorder.sent);
  Key('e');
  recorder.sent.clear();
  for (int i = 0; i < 3; ++i) plugin->Dispatch(effIdle);
  EXPECT_TRUE(recorder.sent.empty()) << Describe(recorder.sent);
}

// The host may leave an empty string of its own in the record; the plug-in must
// neither free nor keep using the host's empty text.
TEST_F(TTransport, SurvivesEmptyStringsFromTheHost) {
  recorder.emptyNameOnStatus = true;
  for (char key : {'q', 'w', 'e', 'x', 'v', 'a', 's'}) Key(key);
  recorder.emptyNameOnStatus = false;
  const auto sent = Key('q');
  ASSERT_FALSE(sent.empty());
  EXPECT_FALSE(sent[0].fileName.empty());
}

TEST_F(TTransport, WithoutAHostCallbackKeysDoNothingHarmful) {
  plugin->SetHostAnswer([](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr { return 0; });
  for (char key : {'q', 'w', 'e', 'r', 'x', 'v', 'a', 's', 'd', 'f', 'c'})
    EXPECT_EQ(plugin->Dispatch(effEditKeyDown, key, 0, nullptr, 1.0f), 1);
}

}  // namespace
