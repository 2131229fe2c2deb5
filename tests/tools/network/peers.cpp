#include "peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tavrix_tool {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartTimeout = std::chrono::seconds(60);
constexpr auto kStopTimeout = std::chrono::seconds(30);
constexpr auto kPoll = std::chrono::milliseconds(50);

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A connected socket to 127.0.0.1:port, or -1.
int Connect(uint16_t port) {
  const int socketHandle = socket(AF_INET, SOCK_STREAM, 0);
  if (socketHandle < 0) return -1;
  sockaddr_in address = Loopback(port);
  if (connect(socketHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(socketHandle);
    return -1;
  }
  return socketHandle;
}

bool Accepts(uint16_t port) {
  const int socketHandle = Connect(port);
  if (socketHandle < 0) return false;
  close(socketHandle);
  return true;
}

std::string Tail(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

// Waits until `ready` holds; throws with the log's end when the program
// ended or the time ran out.
template <typename Ready>
void WaitUntil(ChildProcess& process, const std::string& logPath, Ready ready) {
  const auto deadline = Clock::now() + kStartTimeout;
  while (!ready()) {
    if (!process.Running()) throw std::runtime_error("the peer ended at its start:\n" + Tail(logPath));
    if (Clock::now() > deadline) throw std::runtime_error("the peer did not become ready:\n" + Tail(logPath));
    std::this_thread::sleep_for(kPoll);
  }
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
  std::string pattern = (fs::temp_directory_path() / "tavrix_dicom_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

uint16_t FreeLoopbackPort() {
  const int socketHandle = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (socketHandle < 0 || bind(socketHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socketHandle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  close(socketHandle);
  return ntohs(address.sin_port);
}

void ChildProcess::Start(const std::vector<std::string>& command, const std::string& logPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> arguments;
  for (const std::string& word : command) arguments.push_back(const_cast<char*>(word.c_str()));
  arguments.push_back(nullptr);
  const int error = posix_spawn(&pid_, arguments[0], &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + command[0] + ": " + std::strerror(error));
  }
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
  return pid_ > 0;
}

void ChildProcess::Stop() {
  if (!Running()) return;
  kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + kStopTimeout;
  while (Running() && Clock::now() < deadline) std::this_thread::sleep_for(kPoll);
  Kill();
}

void ChildProcess::Kill() {
  if (!Running()) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

HttpAnswer HttpGet(uint16_t port, const std::string& path) {
  HttpAnswer answer;
  const int socketHandle = Connect(port);
  if (socketHandle < 0) return answer;
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (send(socketHandle, request.data(), request.size(), 0) != ssize_t(request.size())) {
    close(socketHandle);
    return answer;
  }
  std::string reply;
  char buffer[65536];
  for (ssize_t got; (got = recv(socketHandle, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, size_t(got));
  close(socketHandle);
  const size_t headerEnd = reply.find("\r\n\r\n");
  if (reply.compare(0, 9, "HTTP/1.1 ") != 0 && reply.compare(0, 9, "HTTP/1.0 ") != 0) return answer;
  if (headerEnd == std::string::npos) return answer;
  answer.status = std::atoi(reply.c_str() + 9);
  answer.body = reply.substr(headerEnd + 4);
  return answer;
}

std::vector<std::string> JsonStrings(const std::string& json) {
  std::vector<std::string> strings;
  for (size_t open = json.find('"'); open != std::string::npos; open = json.find('"', open)) {
    const size_t close = json.find('"', open + 1);
    if (close == std::string::npos) break;
    strings.push_back(json.substr(open + 1, close - open - 1));
    open = close + 1;
  }
  return strings;
}

std::string JsonString(const std::string& json, const std::string& name) {
  // Orthanc's texts hold no escaped quotes: names and values alternate.
  const std::vector<std::string> strings = JsonStrings(json);
  for (size_t i = 0; i + 1 < strings.size(); ++i) {
    if (strings[i] == name) return strings[i + 1];
  }
  return "";
}

OrthancPeer::OrthancPeer(const std::string& folder, const Options& options)
    : folder_(folder), options_(options), dicomPort_(FreeLoopbackPort()), httpPort_(FreeLoopbackPort()) {
  const fs::path base(folder_);
  fs::create_directories(base / "storage");
  fs::create_directories(base / "index");
  // Called for every object received, a duplicate too, before it is stored.
  WriteText(base / "received.lua",
            "function ReceivedInstanceFilter(dicom, origin, info)\n"
            "  local log = assert(io.open('" + (base / "received.txt").string() + "', 'a'))\n"
            "  log:write(dicom.SOPInstanceUID, '\\n')\n"
            "  log:close()\n"
            "  return true\n"
            "end\n");
  const std::string syntaxes =
      options_.implicitVrOnly ? "  \"AcceptedTransferSyntaxes\": [ \"1.2.840.10008.1.2\" ],\n" : "";
  WriteText(base / "orthanc.json",
            "{\n"
            "  \"Name\": \"tavrix-test\",\n"
            "  \"StorageDirectory\": \"" + (base / "storage").string() + "\",\n"
            "  \"IndexDirectory\": \"" + (base / "index").string() + "\",\n"
            "  \"StorageCompression\": false,\n"
            "  \"Plugins\": [],\n"
            "  \"LuaScripts\": [ \"" + (base / "received.lua").string() + "\" ],\n"
            "  \"HttpServerEnabled\": true,\n"
            "  \"HttpPort\": " + std::to_string(httpPort_) + ",\n"
            "  \"RemoteAccessAllowed\": false,\n"
            "  \"AuthenticationEnabled\": false,\n"
            "  \"DicomServerEnabled\": true,\n"
            "  \"DicomAet\": \"" + options_.aeTitle + "\",\n"
            "  \"DicomPort\": " + std::to_string(dicomPort_) + ",\n"
            "  \"DicomCheckCalledAet\": true,\n"
            "  \"DicomAlwaysAllowStore\": false,\n"
            "  \"DicomCheckModalityHost\": true,\n"
            "  \"DicomModalities\": { \"station\": [ \"" + options_.stationAeTitle + "\", \"127.0.0.1\", 104 ] },\n"
            + syntaxes +
            "  \"SaveJobs\": false\n"
            "}\n");
}

void OrthancPeer::Start() {
  const std::string log = folder_ + "/orthanc.log";
  process_.Start({TAVRIX_TEST_ORTHANC, folder_ + "/orthanc.json"}, log);
  WaitUntil(process_, log, [&] { return HttpGet(httpPort_, "/system").status == 200 && Accepts(dicomPort_); });
}

void OrthancPeer::Stop() { process_.Stop(); }

void OrthancPeer::Kill() { process_.Kill(); }

NetworkAddress OrthancPeer::Address() const { return {options_.aeTitle, "127.0.0.1", dicomPort_}; }

std::string OrthancPeer::Rest(const std::string& path) const {
  const HttpAnswer answer = HttpGet(httpPort_, path);
  EXPECT_EQ(answer.status, 200) << "GET " << path;
  return answer.body;
}

std::vector<std::string> OrthancPeer::Instances() const {
  return JsonStrings(Rest("/instances"));
}

std::vector<std::string> OrthancPeer::Received() const {
  std::ifstream in(folder_ + "/received.txt");
  std::vector<std::string> uids;
  for (std::string line; std::getline(in, line);) uids.push_back(line);
  return uids;
}

WorklistPeer::WorklistPeer(const std::string& folder, const std::string& aeTitle)
    : folder_(folder), aeTitle_(aeTitle), port_(FreeLoopbackPort()) {
  fs::create_directories(ItemFolder());
  // wlmscpfs takes this file's lock while it reads the folder.
  WriteText(fs::path(ItemFolder()) / "lockfile", "");
}

std::string WorklistPeer::ItemFolder() const { return folder_ + "/" + aeTitle_; }

void WorklistPeer::Start() {
  const std::string log = folder_ + "/wlmscpfs.log";
  // One process, so that stopping it leaves no child behind; the items'
  // own character set is kept in the answers.
  process_.Start({TAVRIX_TEST_WLMSCPFS, "--single-process", "--keep-char-set", "--data-files-path", folder_,
                  std::to_string(port_)},
                 log);
  WaitUntil(process_, log, [&] { return Accepts(port_); });
}

void WorklistPeer::Stop() { process_.Stop(); }

NetworkAddress WorklistPeer::Address() const { return {aeTitle_, "127.0.0.1", port_}; }

}  // namespace tavrix_tool
