#pragma once

// A core binding whose entry points record each call, for tests of the shell's core calls.

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "main/core_binding.h"

namespace kesu::shell::testing {

struct FakeCore {
  std::vector<std::string> calls;
  std::string profiles = R"({"profiles":[]})";
  std::string config = "{}";
  std::string last_result;  // empty: the core answers NULL
  std::string diagnosis;
  std::string failed_segments = "[]";
  int retry_code = 0;
  std::string retry_error;  // put into the err slot when not empty
  int set_config_code = 0;
  std::string set_config_error;
  std::string devices = R"({"devices":[],"default":null,"selected":null})";
  std::string models = "[]";
  int pull_code = 0;

  static FakeCore*& current() {
    static FakeCore* fake = nullptr;
    return fake;
  }
  static char* dup(const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
  }
  static void record(std::string call) { current()->calls.push_back(std::move(call)); }

  CoreBinding binding() {
    current() = this;
    CoreBinding b;
    b.kesu_string_free = [](char* s) { std::free(s); };
    set_string_free(b.kesu_string_free);
    b.kesu_hotkey_down = [](KesuCore*) { record("hotkey_down"); return 0; };
    b.kesu_hotkey_up = [](KesuCore*) { record("hotkey_up"); return 0; };
    b.kesu_cancel = [](KesuCore*) { record("cancel"); return 0; };
    b.kesu_note_foreground_app = [](KesuCore*, const char* app) {
      record("note_foreground_app " + std::string(app));
      return 0;
    };
    b.kesu_submit_result = [](KesuCore*, const char* task, const char* status, const char* detail) {
      record("submit_result " + std::string(task) + " " + status + " " + detail);
      return 0;
    };
    b.kesu_get_profiles = [](KesuCore*) { return dup(current()->profiles); };
    b.kesu_get_config_json = [](KesuCore*) { return dup(current()->config); };
    b.kesu_set_active_profile = [](KesuCore*, const char* name, char**) {
      record("set_active_profile " + std::string(name));
      return 0;
    };
    b.kesu_get_last_result = [](KesuCore*) -> char* {
      return current()->last_result.empty() ? nullptr : dup(current()->last_result);
    };
    b.kesu_diagnose = [](KesuCore*) { return dup(current()->diagnosis); };
    b.kesu_failed_segments = [](KesuCore*) { return dup(current()->failed_segments); };
    b.kesu_retry_segment = [](KesuCore*, int index, char** err) {
      record("retry_segment " + std::to_string(index));
      if (err != nullptr && !current()->retry_error.empty()) *err = dup(current()->retry_error);
      return current()->retry_code;
    };
    b.kesu_set_config_json = [](KesuCore*, const char* json, char** err) {
      record("set_config_json " + std::string(json));
      if (err != nullptr && !current()->set_config_error.empty()) *err = dup(current()->set_config_error);
      return current()->set_config_code;
    };
    b.kesu_list_devices = [](KesuCore*) { return dup(current()->devices); };
    b.kesu_models_list = [](KesuCore*) { return dup(current()->models); };
    b.kesu_models_pull = [](KesuCore*, const char* id, char**) {
      record("models_pull " + std::string(id));
      return current()->pull_code;
    };
    b.kesu_meter_start = [](KesuCore*) { record("meter_start"); return 0; };
    b.kesu_meter_stop = [](KesuCore*) { record("meter_stop"); return 0; };
    return b;
  }
};

}  // namespace kesu::shell::testing
