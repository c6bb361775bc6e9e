#include "main/media_control_win.h"

#include <windows.h>
#include <unknwn.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "main/com_ref_win.h"
#include "main/win_handles.h"

namespace kesu::shell::win {

namespace {

// mingw-w64 has no WinRT headers: the few interfaces used are declared here, methods in vtable
// order up to the last one called.

struct IInspectableLite : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, GUID** iids) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRuntimeClassName(void** name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTrustLevel(int* level) = 0;
};

// IAsyncOperation<T>: reached through its vtable only, so its parameterised IID is not needed.
template <class Result>
struct IAsyncOperationLite : IInspectableLite {
  virtual HRESULT STDMETHODCALLTYPE put_Completed(void* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Completed(void** handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResults(Result* results) = 0;
};

// {00000036-0000-0000-C000-000000000046}
constexpr GUID kIidAsyncInfo = {0x00000036, 0x0000, 0x0000,
                                {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
struct IAsyncInfoLite : IInspectableLite {
  virtual HRESULT STDMETHODCALLTYPE get_Id(UINT32* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status(int* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};
constexpr int kAsyncStarted = 0;
constexpr int kAsyncCompleted = 1;

struct IPlaybackInfo : IInspectableLite {
  virtual HRESULT STDMETHODCALLTYPE get_Controls(void** controls) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackStatus(int* status) = 0;
};
constexpr int kStatusPlaying = 4;

struct ISession : IInspectableLite {
  virtual HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(void** id) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryGetMediaPropertiesAsync(void** op) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTimelineProperties(void** props) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPlaybackInfo(IPlaybackInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryPlayAsync(IAsyncOperationLite<unsigned char>** op) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryPauseAsync(IAsyncOperationLite<unsigned char>** op) = 0;
};

struct IManager : IInspectableLite {
  virtual HRESULT STDMETHODCALLTYPE GetCurrentSession(ISession** session) = 0;
};

// {2050c4ee-11a0-57de-aed7-c97c70338245}
constexpr GUID kIidManagerStatics = {0x2050c4ee, 0x11a0, 0x57de,
                                     {0xae, 0xd7, 0xc9, 0x7c, 0x70, 0x33, 0x82, 0x45}};
struct IManagerStatics : IInspectableLite {
  virtual HRESULT STDMETHODCALLTYPE RequestAsync(IAsyncOperationLite<IManager*>** op) = 0;
};

constexpr wchar_t kManagerClass[] =
    L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager";


// combase's WinRT entry points, looked up at run time.
struct Combase {
  using RoInitializeFn = HRESULT(WINAPI*)(int);
  using RoUninitializeFn = void(WINAPI*)();
  using RoGetActivationFactoryFn = HRESULT(WINAPI*)(void* cls, REFIID iid, void** factory);
  using WindowsCreateStringFn = HRESULT(WINAPI*)(const wchar_t*, UINT32, void** str);
  using WindowsDeleteStringFn = HRESULT(WINAPI*)(void* str);

  FreeLibraryHandle module{::LoadLibraryW(L"combase.dll")};
  RoInitializeFn ro_initialize = find<RoInitializeFn>("RoInitialize");
  RoUninitializeFn ro_uninitialize = find<RoUninitializeFn>("RoUninitialize");
  RoGetActivationFactoryFn get_factory = find<RoGetActivationFactoryFn>("RoGetActivationFactory");
  WindowsCreateStringFn create_string = find<WindowsCreateStringFn>("WindowsCreateString");
  WindowsDeleteStringFn delete_string = find<WindowsDeleteStringFn>("WindowsDeleteString");

  bool complete() const {
    return ro_initialize && ro_uninitialize && get_factory && create_string && delete_string;
  }

 private:
  template <class Fn>
  Fn find(const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
  }
};

// Waits for an asynchronous operation by polling its IAsyncInfo; S_OK once it completed.
template <class Op>
HRESULT wait_for(Op* op) {
  ComRef<IAsyncInfoLite> info;
  HRESULT hr = op->QueryInterface(kIidAsyncInfo, reinterpret_cast<void**>(info.out()));
  if (FAILED(hr)) return hr;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  int status = kAsyncStarted;
  while (SUCCEEDED(hr = info->get_Status(&status)) && status == kAsyncStarted) {
    if (std::chrono::steady_clock::now() > deadline) {
      (void)info->Cancel();
      return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    ::Sleep(5);
  }
  if (FAILED(hr)) return hr;
  if (status == kAsyncCompleted) return S_OK;
  HRESULT code = E_FAIL;
  if (FAILED(info->get_ErrorCode(&code)) || SUCCEEDED(code)) code = E_FAIL;
  return code;
}

enum class SessionOutcome { Unavailable, Failed, None, Found };

// The current session; Unavailable when the class cannot be activated at all.
SessionOutcome current_session(Combase& rt, ComRef<ISession>& session, HRESULT& error) {
  void* name = nullptr;
  if (FAILED(rt.create_string(kManagerClass, static_cast<UINT32>(std::size(kManagerClass) - 1),
                              &name))) {
    return SessionOutcome::Unavailable;
  }
  ComRef<IManagerStatics> statics;
  const HRESULT activated =
      rt.get_factory(name, kIidManagerStatics, reinterpret_cast<void**>(statics.out()));
  rt.delete_string(name);
  if (FAILED(activated) || !statics) return SessionOutcome::Unavailable;

  ComRef<IAsyncOperationLite<IManager*>> request;
  error = statics->RequestAsync(request.out());
  if (FAILED(error) || !request) return SessionOutcome::Failed;
  if (FAILED(error = wait_for(request.get()))) return SessionOutcome::Failed;
  ComRef<IManager> manager;
  if (FAILED(error = request->GetResults(manager.out())) || !manager) return SessionOutcome::Failed;
  if (FAILED(error = manager->GetCurrentSession(session.out()))) return SessionOutcome::Failed;
  return session ? SessionOutcome::Found : SessionOutcome::None;
}

// Runs WinRT work on a thread of the multithreaded apartment and waits for it. The
// user-interface thread is a single-threaded apartment: waiting there on a cross-process call
// would pump window messages and let key or event handling in again while the
// application-state lock is held.
template <class Result, class Work>
Result in_mta(Work work, Result on_timeout) {
  auto task = std::make_shared<std::packaged_task<Result()>>([work]() -> Result {
    Combase rt;
    if (!rt.complete()) return Result{};
    const HRESULT init = rt.ro_initialize(1);  // RO_INIT_MULTITHREADED
    Result r = work(rt);
    if (SUCCEEDED(init)) rt.ro_uninitialize();
    return r;
  });
  std::future<Result> answer = task->get_future();
  try {
    std::thread([task] { (*task)(); }).detach();
  } catch (...) {
    return Result{};
  }
  if (answer.wait_for(std::chrono::seconds(3)) != std::future_status::ready) return on_timeout;
  try {
    return answer.get();
  } catch (...) {
    return Result{};
  }
}

TransportResult send_command(bool pause) {
  const TransportResult timeout{TransportAnswer::Failed, "等待超时"};
  return in_mta<TransportResult>(
      [pause](Combase& rt) -> TransportResult {
        ComRef<ISession> session;
        HRESULT hr = S_OK;
        switch (current_session(rt, session, hr)) {
          case SessionOutcome::Unavailable:
          case SessionOutcome::None:
            return {};
          case SessionOutcome::Failed:
            return {TransportAnswer::Failed, hresult_text(hr)};
          case SessionOutcome::Found:
            break;
        }
        ComRef<IAsyncOperationLite<unsigned char>> op;
        hr = pause ? session->TryPauseAsync(op.out()) : session->TryPlayAsync(op.out());
        if (FAILED(hr) || !op) return {TransportAnswer::Failed, hresult_text(hr)};
        if (FAILED(hr = wait_for(op.get()))) return {TransportAnswer::Failed, hresult_text(hr)};
        unsigned char accepted = 0;
        if (FAILED(hr = op->GetResults(&accepted))) return {TransportAnswer::Failed, hresult_text(hr)};
        return {accepted ? TransportAnswer::Accepted : TransportAnswer::Refused, ""};
      },
      timeout);
}

}  // namespace

PlaybackQuery WinMediaTransport::playback() {
  return in_mta<PlaybackQuery>(
      [](Combase& rt) -> PlaybackQuery {
        ComRef<ISession> session;
        HRESULT hr = S_OK;
        switch (current_session(rt, session, hr)) {
          case SessionOutcome::Unavailable:
            return {};
          case SessionOutcome::None:
            return {Playback::NoSession, ""};
          case SessionOutcome::Failed:
            return {Playback::Failed, hresult_text(hr)};
          case SessionOutcome::Found:
            break;
        }
        ComRef<IPlaybackInfo> info;
        int status = 0;
        if (FAILED(hr = session->GetPlaybackInfo(info.out())) || !info ||
            FAILED(hr = info->get_PlaybackStatus(&status))) {
          return {Playback::Failed, hresult_text(hr)};
        }
        return {status == kStatusPlaying ? Playback::Playing : Playback::NotPlaying, ""};
      },
      PlaybackQuery{Playback::Failed, "等待超时"});
}

TransportResult WinMediaTransport::try_pause() { return send_command(true); }
TransportResult WinMediaTransport::try_play() { return send_command(false); }

}  // namespace kesu::shell::win
