// A stand-in for NVDA's controller client, nvdaControllerClient64.dll: its
// functions record each call (stand_in_record.h) and answer as the client
// does when NVDA runs, or, with TALLOWICK_NVDA_RUNNING=0, when it does not
// (RPC_S_SERVER_UNAVAILABLE).
#include "stand_in_record.h"

namespace {

unsigned long answer(const char* call, const wchar_t* text = nullptr) {
    record_call(call, text);
    wchar_t running[2];
    return GetEnvironmentVariableW(L"TALLOWICK_NVDA_RUNNING", running, 2) == 1 && running[0] == L'0'
               ? RPC_S_SERVER_UNAVAILABLE
               : 0;
}

} // namespace

extern "C" {
__declspec(dllexport) unsigned long __stdcall nvdaController_testIfRunning() {
    return answer("testIfRunning");
}
__declspec(dllexport) unsigned long __stdcall nvdaController_speakText(const wchar_t* text) {
    return answer("speakText", text);
}
__declspec(dllexport) unsigned long __stdcall nvdaController_cancelSpeech() {
    return answer("cancelSpeech");
}
__declspec(dllexport) unsigned long __stdcall nvdaController_brailleMessage(const wchar_t* text) {
    return answer("brailleMessage", text);
}
}
