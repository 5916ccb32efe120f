// Speech on Windows, through what the player already listens to: NVDA
// through its controller client when the DLL lies beside the program and
// NVDA runs; else JAWS through its COM automation when it runs; else SAPI 5.
// All of it on the speech thread, which owns COM there.
#include "core/speech/speech.h"

#include "core/platform/platform.h"
#include "core/text/utf8.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <sapi.h>

#include <algorithm>

namespace tw {
namespace {

std::wstring widen(const std::string& utf8) {
    return path_from_utf8(utf8).native();
}

// An interface of a COM object made here, released with its holder.
template <class T> struct com_ptr {
    T* p = nullptr;
    com_ptr() = default;
    com_ptr(const com_ptr&) = delete;
    ~com_ptr() {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
    bool create(REFCLSID clsid, REFIID iid) {
        return SUCCEEDED(
            CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, reinterpret_cast<void**>(&p)));
    }
};

// A function of a DLL, by name, as the type it has.
template <class F> F function(HMODULE dll, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// NVDA's controller client, loaded by name at run time: it is NVDA's to
// ship, not ours.
class nvda_backend final : public speech_backend {
  public:
    static std::unique_ptr<speech_backend> open() {
        // By its full path only: never one found elsewhere on the search path.
        auto dir = program_directory();
        HMODULE dll =
            dir.empty() ? nullptr : LoadLibraryW((dir / "nvdaControllerClient64.dll").c_str());
        if (!dll)
            return nullptr;
        auto b = std::make_unique<nvda_backend>();
        b->dll = dll;
        b->running = function<error_fn>(dll, "nvdaController_testIfRunning");
        b->say_text = function<text_fn>(dll, "nvdaController_speakText");
        b->stop = function<error_fn>(dll, "nvdaController_cancelSpeech");
        b->show_text = function<text_fn>(dll, "nvdaController_brailleMessage");
        if (!b->running || !b->say_text || !b->stop || b->running() != 0)
            return nullptr;
        return b;
    }
    ~nvda_backend() override { FreeLibrary(dll); }
    bool say(const std::string& text) override { return say_text(widen(text).c_str()) == 0; }
    void cancel() override { stop(); }
    void set_voice(const voice&) override {} // NVDA speaks in the player's own voice
    void braille(const std::string& text) override {
        if (show_text)
            show_text(widen(text).c_str());
    }

  private:
    using error_fn = unsigned long(__stdcall*)();
    using text_fn = unsigned long(__stdcall*)(const wchar_t*);
    HMODULE dll = nullptr;
    error_fn running = nullptr, stop = nullptr;
    text_fn say_text = nullptr, show_text = nullptr;
};

// JAWS's automation object, FreedomSci.JawsApi, through IDispatch.
class jaws_backend final : public speech_backend {
  public:
    static std::unique_ptr<speech_backend> open() {
        if (!FindWindowW(L"JFWUI2", nullptr))
            return nullptr;
        CLSID clsid;
        auto b = std::make_unique<jaws_backend>();
        if (FAILED(CLSIDFromProgID(L"FreedomSci.JawsApi", &clsid)) ||
            !b->api.create(clsid, IID_IDispatch))
            return nullptr;
        return b;
    }
    bool say(const std::string& text) override {
        BSTR bstr = SysAllocString(widen(text).c_str());
        VARIANT args[2];
        args[0].vt = VT_BOOL; // flush: no, queue after what is said
        args[0].boolVal = VARIANT_FALSE;
        args[1].vt = VT_BSTR;
        args[1].bstrVal = bstr;
        bool ok = call(L"SayString", args, 2);
        SysFreeString(bstr);
        return ok;
    }
    void cancel() override { call(L"StopSpeech", nullptr, 0); }
    void set_voice(const voice&) override {} // JAWS speaks in the player's own voice

  private:
    bool call(const wchar_t* name, VARIANT* args, UINT count) {
        DISPID id;
        auto* member = const_cast<LPOLESTR>(name);
        if (FAILED(api->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_USER_DEFAULT, &id)))
            return false;
        DISPPARAMS params{args, nullptr, count, 0};
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = api->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                 &result, nullptr, nullptr);
        VariantClear(&result);
        return SUCCEEDED(hr);
    }
    com_ptr<IDispatch> api;
};

// SAPI 5, the system's own voice.
class sapi_backend final : public speech_backend {
  public:
    static std::unique_ptr<speech_backend> open() {
        auto b = std::make_unique<sapi_backend>();
        return b->spvoice.create(CLSID_SpVoice, IID_ISpVoice) ? std::move(b) : nullptr;
    }
    bool say(const std::string& text) override {
        return SUCCEEDED(spvoice->Speak(widen(text).c_str(), SPF_ASYNC | SPF_IS_NOT_XML, nullptr));
    }
    void cancel() override { spvoice->Speak(nullptr, SPF_ASYNC | SPF_PURGEBEFORESPEAK, nullptr); }
    void set_voice(const voice& v) override {
        if (v.rate)
            spvoice->SetRate(std::clamp(*v.rate / 10, -10, 10));
        if (v.volume)
            spvoice->SetVolume(static_cast<USHORT>(std::clamp((*v.volume + 100) / 2, 0, 100)));
    }

  private:
    com_ptr<ISpVoice> spvoice;
};

} // namespace

std::unique_ptr<speech_backend> make_platform_speech() {
    // COM for this (the speech) thread; the backends live and die on it.
    static thread_local HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    (void)com;
    if (auto nvda = nvda_backend::open())
        return nvda;
    if (auto jaws = jaws_backend::open())
        return jaws;
    return sapi_backend::open();
}

// NVDA and JAWS speak Tallowick's texts in their own voices; SAPI has
// none of the player's to take.
std::optional<std::filesystem::path> screen_reader_voice_file() {
    return std::nullopt;
}

} // namespace tw
