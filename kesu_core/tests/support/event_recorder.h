#pragma once

// Test host helpers: a recording event callback and scoped core / directory owners.

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kesu_core.h"

namespace kesu_test {

using Json = nlohmann::json;

// Records every event text the core delivers and lets a test wait for a condition on them.
class EventRecorder {
 public:
  static void callback(const char* json, void* user) {
    static_cast<EventRecorder*>(user)->record(json);
  }

  void attach(KesuCore* core) { kesu_set_event_cb(core, &EventRecorder::callback, this); }

  void record(const char* json) {
    {
      std::lock_guard lock(mu_);
      texts_.emplace_back(json);
    }
    cv_.notify_all();
  }

  std::vector<std::string> texts() const {
    std::lock_guard lock(mu_);
    return texts_;
  }

  std::vector<Json> events() const {
    std::vector<Json> out;
    for (const std::string& t : texts()) out.push_back(Json::parse(t));
    return out;
  }

  // Waits until an event satisfies `match`; returns it, or null after the time-out.
  Json wait_for(const std::function<bool(const Json&)>& match,
                std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mu_);
    std::size_t seen = 0;
    Json found;
    cv_.wait_for(lock, timeout, [&] {
      for (; seen < texts_.size(); ++seen) {
        Json event = Json::parse(texts_[seen]);
        if (match(event)) {
          found = std::move(event);
          return true;
        }
      }
      return false;
    });
    return found;
  }

  Json wait_for_type(const std::string& type,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    return wait_for([&](const Json& e) { return e["type"] == type; }, timeout);
  }
  Json wait_for_phase(const std::string& phase) {
    return wait_for([&](const Json& e) {
      return e["type"] == "state" && e["payload"]["phase"] == phase;
    });
  }
  Json wait_for_error(const std::string& code) {
    return wait_for([&](const Json& e) {
      return e["type"] == "error" && e["payload"]["code"] == code;
    });
  }

  void reset() {
    std::lock_guard lock(mu_);
    texts_.clear();
  }

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::string> texts_;
};

// A fresh, empty directory removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("kesu-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string utf8() const {
    const std::u8string s = path_.u8string();
    return std::string(s.begin(), s.end());
  }

 private:
  std::filesystem::path path_;
};

// A core in its own temporary directory, freed at the end of the test.
struct ScopedCore {
  TempDir dir;
  KesuCore* core = kesu_core_new(dir.utf8().c_str());
  ~ScopedCore() { kesu_core_free(core); }
};

// Owns a string returned by the core.
struct CoreString {
  char* s = nullptr;
  explicit CoreString(char* p) : s(p) {}
  ~CoreString() { kesu_string_free(s); }
  CoreString(const CoreString&) = delete;
  CoreString& operator=(const CoreString&) = delete;
  std::string str() const { return s ? std::string(s) : std::string(); }
};

inline void set_env(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

}  // namespace kesu_test
