// A stand-in for JAWS: its main window, by JAWS's class name (`rundll32
// jaws_stand_in.dll,show_jaws_window`), and its FreedomSci.JawsApi object
// as an in-process COM server (registered by the journey under this file's
// own CLSID), whose SayString and StopSpeech are recorded.
#include "stand_in_record.h"

#include <oleauto.h>

namespace {

// {5B7D5D3E-6C1F-4E8A-9A53-1F2D3C4B5A69}
const CLSID stand_in = {0x5b7d5d3e, 0x6c1f, 0x4e8a, {0x9a, 0x53, 0x1f, 0x2d, 0x3c, 0x4b, 0x5a, 0x69}};

// The one object of the process, its own class factory too.
struct jaws_api final : IDispatch, IClassFactory {
    HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IClassFactory ? static_cast<void*>(static_cast<IClassFactory*>(this))
               : iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this)
                                                             : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG __stdcall AddRef() override { return 2; }
    ULONG __stdcall Release() override { return 1; }
    HRESULT __stdcall CreateInstance(IUnknown*, REFIID iid, void** out) override {
        return QueryInterface(iid, out);
    }
    HRESULT __stdcall LockServer(BOOL) override { return S_OK; }
    HRESULT __stdcall GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT __stdcall GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT __stdcall GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        *id = lstrcmpiW(names[0], L"SayString") == 0    ? 1
              : lstrcmpiW(names[0], L"StopSpeech") == 0 ? 2
                                                         : DISPID_UNKNOWN;
        return *id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
    }
    // Arguments come last first: SayString(text, flush) is {flush, text}.
    HRESULT __stdcall Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                             EXCEPINFO*, UINT*) override {
        if (id == 1 && params->cArgs == 2 && params->rgvarg[1].vt == VT_BSTR)
            record_call(params->rgvarg[0].boolVal ? "SayString(flush)" : "SayString",
                        params->rgvarg[1].bstrVal);
        else if (id == 2 && params->cArgs == 0)
            record_call("StopSpeech");
        else
            return DISP_E_BADPARAMCOUNT;
        return S_OK;
    }
} the_api;

} // namespace

extern "C" {

__declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return clsid == stand_in ? the_api.QueryInterface(iid, out) : CLASS_E_CLASSNOTAVAILABLE;
}

// JAWS's main window, which Tallowick looks for before it asks for the
// object, until the process is ended.
__declspec(dllexport) void __stdcall show_jaws_window(HWND, HINSTANCE, LPSTR, int) {
    WNDCLASSW kind{};
    kind.lpfnWndProc = DefWindowProcW;
    kind.lpszClassName = L"JFWUI2";
    if (!RegisterClassW(&kind) || !CreateWindowW(L"JFWUI2", L"JAWS", 0, 0, 0, 10, 10, nullptr,
                                                 nullptr, nullptr, nullptr))
        return;
    record_call("window shown");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

} // extern "C"
