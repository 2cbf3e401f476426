#include "ProgramRun.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

TProgramFolder::TProgramFolder() {
  fs::create_directories(THUDRA_TEST_DIR);
  std::string pattern = std::string(THUDRA_TEST_DIR) + "/program-XXXXXX";
  char* made = mkdtemp(pattern.data());
  path = made ? made : pattern;
}

TProgramFolder::~TProgramFolder() {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

void TProgramFolder::InstallProgram() {
  fs::copy_file(std::string(THUDRA_PROGRAM_DIR) + "/thudra", File("thudra"), fs::copy_options::overwrite_existing);
  fs::permissions(File("thudra"), fs::perms::owner_all, fs::perm_options::add);
  // The libraries that the program loads from its own folder, as an installation has them.
  for (const char* library : {"orbds.dll", "VMASIO.dll"}) {
    const std::string built = std::string(THUDRA_PROGRAM_DIR) + "/" + library;
    if (fs::exists(built)) fs::copy_file(built, File(library), fs::copy_options::overwrite_existing);
  }
}

void TProgramFolder::InstallPlugIn(const std::string& library) {
  fs::copy_file(library, File("Thudra.dll"), fs::copy_options::overwrite_existing);
}

void TProgramFolder::RemovePlugIn() {
  std::error_code ignored;
  fs::remove(File("Thudra.dll"), ignored);
}

TProgramRun::TProgramRun(const TProgramFolder& folder, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment)
    : outPath(folder.File("stdout.txt")), errPath(folder.File("stderr.txt")) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  variables.erase("DISPLAY");
  for (const auto& [name, value] : environment) {
    if (value.empty())
      variables.erase(name);
    else
      variables[name] = value;
  }
  std::vector<std::string> envText;
  for (const auto& [name, value] : variables) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& text : envText) envp.push_back(text.data());
  envp.push_back(nullptr);

  const std::string program = folder.File("thudra");
  std::vector<std::string> argText = {program};
  argText.insert(argText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argText) argv.push_back(text.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
}

TProgramRun::~TProgramRun() {
  if (pid > 0 && !ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
}

bool TProgramRun::WaitUntilSignalsAreHandled(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  const std::string statusPath = "/proc/" + std::to_string(pid) + "/status";
  while (std::chrono::steady_clock::now() < until) {
    std::istringstream lines(ReadText(statusPath));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("SigCgt:", 0) != 0) continue;
      const unsigned long long caught = std::stoull(line.substr(7), nullptr, 16);
      if (caught & (1ull << (SIGTERM - 1))) return true;
    }
    int code = 0;
    if (waitpid(pid, &code, WNOHANG) == pid) {
      ended = true;
      status = code;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

void TProgramRun::Signal(int signal) {
  if (pid > 0 && !ended) kill(pid, signal);
}

int TProgramRun::Wait(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!ended) {
    int code = 0;
    const int answer = waitpid(pid, &code, WNOHANG);
    if (answer == pid) {
      ended = true;
      status = code;
      break;
    }
    if (answer < 0 || std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::string TProgramRun::Stdout() const { return ReadText(outPath); }
std::string TProgramRun::Stderr() const { return ReadText(errPath); }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WaitForText(const std::string& path, const std::string& text, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    if (ReadText(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

uint64_t Fnv64(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t byte : bytes) h = (h ^ byte) * 0x100000001b3ull;
  return h;
}
