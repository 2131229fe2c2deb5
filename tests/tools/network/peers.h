// Real DICOM peers for the tests, each a child process on free ports of
// 127.0.0.1 with its own temporary storage: Orthanc as the PACS, DCMTK's
// wlmscpfs as the worklist. Started by the test, stopped after it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "network/network_address.h"

namespace tavrix_tool {

// A folder under the system's temporary folder, removed with its contents.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A TCP port of 127.0.0.1 that nothing listens on (bound, then released).
uint16_t FreeLoopbackPort();

// A program run with its output in a log file; stopped (terminated, then
// killed if it lingers) at the latest when this object goes.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Throws std::runtime_error when the program cannot be started.
  void Start(const std::vector<std::string>& command, const std::string& logPath);
  void Stop();
  void Kill();  // at once, as a power cut would
  bool Running();

 private:
  pid_t pid_ = -1;
};

// The status and body of GET http://127.0.0.1:PORT/PATH; status 0 when no
// answer came.
struct HttpAnswer {
  int status = 0;
  std::string body;
};
HttpAnswer HttpGet(uint16_t port, const std::string& path);

// Orthanc with a configuration of its own: one called AE title, store
// allowed only from `stationAeTitle` at 127.0.0.1, REST on 127.0.0.1 only,
// no plugins. Every C-STORE it receives (duplicates too) is logged, so that
// a test can tell how often an instance arrived.
class OrthancPeer {
 public:
  struct Options {
    std::string aeTitle = "PACS";
    std::string stationAeTitle = "STATION";
    bool implicitVrOnly = false;  // accept implicit VR little endian only
  };
  OrthancPeer(const std::string& folder, const Options& options);
  ~OrthancPeer() { Stop(); }

  void Start();  // returns once both its DICOM and its REST port answer
  void Stop();   // returns once it has ended; its storage stays for a restart
  void Kill();   // ends it at once, amid any association
  NetworkAddress Address() const;

  // The REST answer's body; a failed test when it is not "200 OK".
  std::string Rest(const std::string& path) const;
  // Orthanc's IDs of the instances it holds.
  std::vector<std::string> Instances() const;
  // The SOP instance UID of every object received, in order.
  std::vector<std::string> Received() const;

 private:
  std::string folder_;
  Options options_;
  uint16_t dicomPort_, httpPort_;
  ChildProcess process_;
};

// wlmscpfs answering for `aeTitle` from the worklist files in ItemFolder().
class WorklistPeer {
 public:
  WorklistPeer(const std::string& folder, const std::string& aeTitle);
  ~WorklistPeer() { Stop(); }
  std::string ItemFolder() const;  // where the test writes its *.wl files
  void Start();
  void Stop();
  NetworkAddress Address() const;

 private:
  std::string folder_, aeTitle_;
  uint16_t port_;
  ChildProcess process_;
};

// Every string of a JSON text, in order, and the value of the first
// "name" : "value" pair ("" if none): enough for Orthanc's answers.
std::vector<std::string> JsonStrings(const std::string& json);
std::string JsonString(const std::string& json, const std::string& name);

}  // namespace tavrix_tool
