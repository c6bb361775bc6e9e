#include "inject/ui_automation_win.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>

#include "main/com_ref_win.h"
#include "main/text.h"

namespace kesu::shell::win {

namespace {

// The few UI Automation interfaces used here, declared in their vtable order (mingw ships no
// header for them). Methods never called keep a placeholder name.
#define KESU_UNUSED(n) virtual HRESULT STDMETHODCALLTYPE unused_##n() = 0

struct IUiaTextRange : IUnknown {
  KESU_UNUSED(3); KESU_UNUSED(4); KESU_UNUSED(5); KESU_UNUSED(6); KESU_UNUSED(7);
  KESU_UNUSED(8); KESU_UNUSED(9); KESU_UNUSED(10); KESU_UNUSED(11);
  virtual HRESULT STDMETHODCALLTYPE GetText(int max_length, BSTR* text) = 0;
};

struct IUiaTextPattern : IUnknown {
  KESU_UNUSED(3); KESU_UNUSED(4); KESU_UNUSED(5); KESU_UNUSED(6);
  virtual HRESULT STDMETHODCALLTYPE get_DocumentRange(IUiaTextRange** range) = 0;
};

struct IUiaValuePattern : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetValue(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CurrentValue(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CurrentIsReadOnly(BOOL* read_only) = 0;
};

struct IUiaElement : IUnknown {
  KESU_UNUSED(3); KESU_UNUSED(4); KESU_UNUSED(5); KESU_UNUSED(6); KESU_UNUSED(7);
  KESU_UNUSED(8); KESU_UNUSED(9); KESU_UNUSED(10); KESU_UNUSED(11); KESU_UNUSED(12);
  KESU_UNUSED(13);
  virtual HRESULT STDMETHODCALLTYPE GetCurrentPatternAs(int pattern_id, REFIID iid, void** pattern) = 0;
};

struct IUiaAutomation : IUnknown {
  KESU_UNUSED(3); KESU_UNUSED(4); KESU_UNUSED(5); KESU_UNUSED(6); KESU_UNUSED(7);
  virtual HRESULT STDMETHODCALLTYPE GetFocusedElement(IUiaElement** element) = 0;
};

#undef KESU_UNUSED

constexpr CLSID kClsidCUIAutomation{0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};
constexpr IID kIidAutomation{0x30cbe57d, 0xd9d0, 0x452a, {0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee}};
constexpr IID kIidValuePattern{0xa94cd8b1, 0x0844, 0x4cd6, {0x9d, 0x2d, 0x64, 0x05, 0x37, 0xab, 0x39, 0xe9}};
constexpr IID kIidTextPattern{0x32eba289, 0x3583, 0x42c9, {0x9c, 0x59, 0x3b, 0x6d, 0x9a, 0x1e, 0x9b, 0x6a}};
constexpr int kValuePatternId = 10002;
constexpr int kTextPatternId = 10014;
constexpr int kMaxText = 400000;

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8) {
    const std::u16string units = utf8_to_utf16(utf8);
    b_ = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()), static_cast<UINT>(units.size()));
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* out() { return &b_; }
  std::string utf8() const {
    return b_ == nullptr ? std::string()
                         : utf16_to_utf8({reinterpret_cast<const char16_t*>(b_), ::SysStringLen(b_)});
  }

 private:
  BSTR b_ = nullptr;
};


// COM for this thread, for as long as the object lives.
class Apartment {
 public:
  Apartment() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  ~Apartment() {
    if (initialised_) ::CoUninitialize();  // S_FALSE counts too
  }

 private:
  bool initialised_;
};

class ComUiAutomation final : public UiAutomation {
 public:
  ComUiAutomation() {
    // Without UI Automation on the system (Wine) this fails and every call below fails quietly.
    (void)::CoCreateInstance(kClsidCUIAutomation, nullptr, CLSCTX_INPROC_SERVER, kIidAutomation,
                             automation_.out_void());
  }

  Value focused_value() override {
    Value v;
    ComRef<IUiaValuePattern> pattern;
    if (!value_pattern(pattern)) return v;
    v.has_pattern = true;
    BOOL read_only = FALSE;
    v.read_only = SUCCEEDED(pattern->get_CurrentIsReadOnly(&read_only)) && read_only;
    Bstr current;
    if (SUCCEEDED(pattern->get_CurrentValue(current.out()))) v.current = current.utf8();
    return v;
  }

  std::optional<std::string> set_focused_value(std::string_view text) override {
    ComRef<IUiaValuePattern> pattern;
    if (!automation_) return std::string("UI Automation 不可用");
    if (!value_pattern(pattern)) return std::string("没有可写的值");
    const Bstr value(text);
    const HRESULT hr = pattern->SetValue(value.get());
    if (FAILED(hr)) return hresult_text(hr);
    return std::nullopt;
  }

  std::optional<std::string> focused_text() override {
    if (auto v = focused_value(); v.current && !v.current->empty()) return v.current;
    ComRef<IUiaElement> element;
    if (!focused(element)) return std::nullopt;
    ComRef<IUiaTextPattern> pattern;
    if (FAILED(element->GetCurrentPatternAs(kTextPatternId, kIidTextPattern, pattern.out_void())) || !pattern) {
      return std::nullopt;
    }
    ComRef<IUiaTextRange> range;
    if (FAILED(pattern->get_DocumentRange(range.out())) || !range) return std::nullopt;
    Bstr text;
    if (FAILED(range->GetText(kMaxText, text.out()))) return std::nullopt;
    return text.utf8();
  }

 private:
  bool focused(ComRef<IUiaElement>& element) {
    return automation_ && SUCCEEDED(automation_->GetFocusedElement(element.out())) && element;
  }
  bool value_pattern(ComRef<IUiaValuePattern>& pattern) {
    ComRef<IUiaElement> element;
    if (!focused(element)) return false;
    return SUCCEEDED(element->GetCurrentPatternAs(kValuePatternId, kIidValuePattern, pattern.out_void())) &&
           pattern;
  }

  Apartment apartment_;  // declared first: released after the automation object
  ComRef<IUiaAutomation> automation_;
};

}  // namespace

std::unique_ptr<UiAutomation> open_ui_automation() { return std::make_unique<ComUiAutomation>(); }

}  // namespace kesu::shell::win
