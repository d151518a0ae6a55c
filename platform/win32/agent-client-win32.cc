// Talking to the running agent from another program: the two private
// messages, and the status text through WM_COPYDATA.
#include <windows.h>

#include <cctype>
#include <string>

#include "platform/control.h"
#include "platform/win32/window-win32.h"

namespace kestrune {

namespace {

// An export reads the database and uploads files: allow it a long time, but
// not forever.
constexpr UINT kExportWaitMs = 60 * 60 * 1000;
constexpr UINT kShortWaitMs = 60 * 1000;

LRESULT CALLBACK answerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    auto* answer = reinterpret_cast<std::string*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (data && answer && data->dwData == kStatusAnswerTag) {
      answer->assign(static_cast<const char*>(data->lpData), data->cbData);
      return TRUE;
    }
    return FALSE;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int askStatus(HWND agent, std::string* answer) {
  const wchar_t* kClass = kStatusAnswerClass;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = answerProcedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);  // a second registration fails harmlessly
  HWND receiver =
      CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  if (!receiver) {
    *answer = "error: cannot create a window for the answer\n";
    return 1;
  }
  std::string received;
  SetWindowLongPtrW(receiver, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&received));
  COPYDATASTRUCT query = {kStatusQueryTag, 0, nullptr};
  DWORD_PTR result = 0;
  LRESULT sent =
      SendMessageTimeoutW(agent, WM_COPYDATA, reinterpret_cast<WPARAM>(receiver),
                          reinterpret_cast<LPARAM>(&query), SMTO_NORMAL, kShortWaitMs, &result);
  DestroyWindow(receiver);
  if (!sent || !result) {
    *answer = "error: the agent did not answer\n";
    return 1;
  }
  *answer = received;
  return 0;
}

}  // namespace

int sendToAgent(const std::string& request, std::string* answer) {
  std::string ignored;
  if (!answer) answer = &ignored;
  std::string r = request;
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (r != "0x488" && r != "0x490" && r != "status") {
    *answer = "error: unknown request (expected 0x488, 0x490 or status)\n";
    return 1;
  }
  HWND agent = FindWindowW(windowClassName().c_str(), L"Kestrune");
  if (!agent) {
    *answer = "no agent window is open";
    return 2;
  }
  if (r == "status") return askStatus(agent, answer);

  bool exportRequest = r == "0x488";
  UINT message = exportRequest ? kExportRequestMessage : kCounterRequestMessage;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(agent, message, 0, 0, SMTO_NORMAL,
                           exportRequest ? kExportWaitMs : kShortWaitMs, &result)) {
    *answer = "error: the agent did not answer in time\n";
    return 1;
  }
  *answer = exportRequest ? "ok: export finished\n" : "ok: counted\n";
  return 0;
}

}  // namespace kestrune
