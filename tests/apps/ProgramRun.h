// Runs the real thudra executable as a user would, in a program folder of its own:
// the executable copied in, a plug-in copied in as Thudra.dll, a settings folder of
// its own, standard output and error captured to files.
#pragma once
#include <chrono>
#include <map>
#include <string>
#include <vector>

class TProgramFolder {
public:
  TProgramFolder();
  ~TProgramFolder();
  const std::string& Path() const { return path; }
  std::string File(const std::string& name) const { return path + "/" + name; }
  // Copies the program and the libraries it loads from its folder (orbds.dll,
  // VMASIO.dll) into the folder.
  void InstallProgram();
  // Copies library into the folder as Thudra.dll (replacing one that is there).
  void InstallPlugIn(const std::string& library);
  void RemovePlugIn();

private:
  std::string path;
};

class TProgramRun {
public:
  // Starts folder/thudra with arguments; environment adds to (or with an empty value
  // removes from) the test's own environment. DISPLAY is removed.
  TProgramRun(const TProgramFolder& folder, const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& environment);
  ~TProgramRun();

  // Waits until the program handles SIGTERM (its shutdown path is armed).
  bool WaitUntilSignalsAreHandled(std::chrono::milliseconds limit = std::chrono::seconds(20));
  void Signal(int signal);
  // The exit code, or 128 + the signal that killed it; -1 when it did not end in time.
  int Wait(std::chrono::milliseconds limit = std::chrono::seconds(30));
  std::string Stdout() const;
  std::string Stderr() const;
  int Pid() const { return pid; }

private:
  std::string outPath;
  std::string errPath;
  int pid = -1;
  bool ended = false;
  int status = 0;
};

std::string ReadText(const std::string& path);
// Waits until the file holds text; false after limit.
bool WaitForText(const std::string& path, const std::string& text,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));
// FNV-1a, 64 bits: the probe's checksum of chunks.
uint64_t Fnv64(const std::vector<uint8_t>& bytes);
