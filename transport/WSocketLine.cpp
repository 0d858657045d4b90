// Line mode and the waits of the socket.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/vcl/forms.h"
#include "platform/win/messages.h"
#include "transport/WSocket.h"

using namespace winsock::constants;

TCustomLineWSocket::TCustomLineWSocket(TComponent* AOwner) : TCustomSocksWSocket(AOwner) {}

void TCustomLineWSocket::SetLineMode(bool Value) {
  if (Value == FLineMode) return;
  FLineMode = Value;
  // What is held is offered again in the new mode.
  if ((FRcvdCnt > 0 || FLineLength > 0) && FWindowHandle)
    PostMessage(FWindowHandle, WM_TRIGGER_DATA_AVAILABLE, 0, 0);
}

Integer TCustomLineWSocket::SendLine(const std::string& Str) {
  if (Str.empty()) return 0;
  if (FLineEnd.empty()) return SendStr(Str);
  QueueSendData(Str.data(), Integer(Str.size()));
  SendStr(FLineEnd);
  return Integer(Str.size() + FLineEnd.size());
}

Integer TCustomLineWSocket::GetRcvdCount() {
  if (FLineMode) return Integer(FLineLength);
  return TCustomSocksWSocket::GetRcvdCount();
}

Integer TCustomLineWSocket::DoRecv(void* Buffer, Integer BufferSize, Integer Flags) {
  const size_t want = size_t(std::max(BufferSize, Integer{0}));
  if (FLineMode && FLineLength > 0) {
    // Read from the offered line; the rest of the line moves to the front.
    const size_t n = std::min(want, FLineLength);
    std::memcpy(Buffer, FRcvdPtr.data(), n);
    std::memmove(FRcvdPtr.data(), FRcvdPtr.data() + n, FLineLength - n);
    FLineLength -= n;
    return Integer(n);
  }
  if (!FLineMode && FRcvdCnt > 0) {
    const size_t n = std::min(want, FRcvdCnt);
    std::memcpy(Buffer, FRcvdPtr.data(), n);
    std::memmove(FRcvdPtr.data(), FRcvdPtr.data() + n, FRcvdCnt - n + 1);  // with the zero byte
    FRcvdCnt -= n;
    return Integer(n);
  }
  return TCustomSocksWSocket::DoRecv(Buffer, BufferSize, Flags);
}

void TCustomLineWSocket::TriggerLineLimitExceeded(Integer Cnt, bool& ClearData) {
  OnLineLimitExceeded(this, Cnt, ClearData);
}

void TCustomLineWSocket::EditLine(size_t& Len) {
  size_t held = FRcvdCnt;
  std::string edited, echo;
  bool changed = false;
  for (size_t i = 0; i < Len; ++i) {
    const char c = FRcvdPtr[FRcvdCnt + i];
    if (c == '\b') {
      changed = true;
      if (!edited.empty()) {
        edited.pop_back();
        echo += "\b \b";
      } else if (held > 0) {
        --held;
        echo += "\b \b";
      }
    } else if (c == '\t') {
      changed = true;
      const size_t blanks = 8 - (held + edited.size()) % 8;
      edited.append(blanks, ' ');
      echo.append(blanks, ' ');
    } else {
      edited += c;
      echo += c;
    }
  }
  if (FLineEcho && !echo.empty()) SendStr(echo);
  if (!changed) return;
  if (FRcvdPtr.size() < held + edited.size() + 1) FRcvdPtr.resize(held + edited.size() + 256);
  std::memcpy(FRcvdPtr.data() + held, edited.data(), edited.size());
  FRcvdPtr[held + edited.size()] = 0;
  FRcvdCnt = held;
  Len = edited.size();
}

void TCustomLineWSocket::OfferHeldData() {
  // Raw data out of line mode, while a handler takes it.
  auto alive = AliveToken();
  while (!FLineMode && FRcvdCnt > 0) {
    const size_t before = FRcvdCnt;
    if (!TCustomSocksWSocket::TriggerDataAvailable(0)) {
      if (*alive) FRcvdCnt = 0;
      return;
    }
    if (!*alive || FRcvdCnt == before) return;
  }
}

bool TCustomLineWSocket::TriggerDataAvailable(Word Error) {
  if (!FLineMode || FLineEnd.empty() || SocksHandshakeRunning())
    return TCustomSocksWSocket::TriggerDataAvailable(Error);
  auto alive = AliveToken();

  Integer pending = TCustomSocksWSocket::GetRcvdCount();
  if (pending < 0) return true;
  if (pending == 0) pending = 255;
  if (FRcvdPtr.size() < FRcvdCnt + size_t(pending) + 1) FRcvdPtr.resize(FRcvdCnt + size_t(pending) + 1);
  Integer got = TCustomSocksWSocket::DoRecv(FRcvdPtr.data() + FRcvdCnt, pending, 0);
  if (got <= 0) {
    if (FRcvdCnt == 0) return true;
    got = 0;
  }
  size_t fresh = size_t(got);
  if (fresh > 0) {
    if (FLineEdit)
      EditLine(fresh);
    else if (FLineEcho)
      SendStr(std::string(FRcvdPtr.data() + FRcvdCnt, fresh));
    if (!*alive) return true;
  }
  // A line end split over two reads is found by starting a little before the new bytes.
  size_t searchFrom = FRcvdCnt > FLineEnd.size() ? FRcvdCnt - FLineEnd.size() : 0;
  FRcvdCnt += fresh;
  FRcvdPtr[FRcvdCnt] = 0;

  while (FLineMode) {
    const auto begin = FRcvdPtr.begin() + std::ptrdiff_t(searchFrom);
    const auto end = FRcvdPtr.begin() + std::ptrdiff_t(FRcvdCnt);
    const auto found = std::search(begin, end, FLineEnd.begin(), FLineEnd.end());
    if (found == end) break;
    const size_t lineSize = size_t(found - FRcvdPtr.begin()) + FLineEnd.size();
    FLineLength = lineSize;
    FLineReceived = true;
    FLineFound = true;
    while (FLineMode && FLineLength > 0) {
      if (!TCustomSocksWSocket::TriggerDataAvailable(0)) {
        if (*alive) FLineLength = 0;  // nobody takes it: dropped
        break;
      }
      if (!*alive) return true;
    }
    if (!*alive) return true;
    // Remove the line; a rest left unread when line mode went off stays at the front.
    const size_t rest = FLineLength;
    std::memmove(FRcvdPtr.data() + rest, FRcvdPtr.data() + lineSize, FRcvdCnt - lineSize);
    FRcvdCnt = rest + (FRcvdCnt - lineSize);
    FLineLength = 0;
    FRcvdPtr[FRcvdCnt] = 0;
    searchFrom = 0;
    OfferHeldData();
    if (!*alive) return true;
  }

  if (FLineLimit > 0 && FRcvdCnt > size_t(FLineLimit)) {
    FLineClearData = true;
    TriggerLineLimitExceeded(Integer(FRcvdCnt), FLineClearData);
    if (!*alive) return true;
    if (FLineClearData) {
      FRcvdCnt = 0;
      FLineLength = 0;
      if (!FRcvdPtr.empty()) FRcvdPtr[0] = 0;
      FLineClearData = false;
    }
  }
  return true;
}

void TCustomLineWSocket::WindowProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg != WM_TRIGGER_DATA_AVAILABLE) return TCustomSocksWSocket::WindowProc(Msg, wParam, lParam);
  auto alive = AliveToken();
  try {
    int fruitless = 0;
    while (FRcvdCnt > 0) {
      const size_t before = FRcvdCnt;
      FLineFound = false;
      TriggerDataAvailable(0);
      if (!*alive || FRcvdCnt == 0) return;
      if (FLineMode ? (!FLineFound && ++fruitless > 3) : FRcvdCnt == before) return;
    }
  } catch (Exception& E) {
    if (*alive) HandleBackgroundException(E);
  }
}

void TCustomLineWSocket::TriggerSessionClosed(Word Error) {
  auto alive = AliveToken();
  FLineReceived = true;
  if (!FRcvdPtr.empty()) {
    if (FLineMode && FRcvdCnt > 0 && !FLineClearData) {
      // What is left without a line end is the last line.
      FLineLength = FRcvdCnt;
      while (FLineMode && FLineLength > 0) {
        const size_t before = FLineLength;
        if (!TCustomSocksWSocket::TriggerDataAvailable(0)) break;
        if (!*alive) return;
        if (FLineLength == before) break;
      }
    }
    FRcvdPtr.clear();
    FRcvdPtr.shrink_to_fit();
    FRcvdCnt = 0;
    FLineLength = 0;
  }
  TCustomSocksWSocket::TriggerSessionClosed(Error);
}

// ---------------------------------------------------------------------------------

Integer TCustomSyncWSocket::SyncCall(Integer& DoneFlag, TSyncProc Proc, intptr_t Arg) {
  DoneFlag = 0;
  if (Proc) Proc(this, Arg);
  return WaitUntilReady(DoneFlag);
}

Integer TCustomSyncWSocket::WaitUntilReady(Integer& DoneFlag) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(FTimeout);
  auto alive = AliveToken();
  for (;;) {
    if (DoneFlag != 0) return 0;
    if ((FTimeout > 0 && Clock::now() >= deadline) || FTerminated || (Application && Application->Terminated()))
      return WSA_WSOCKET_TIMEOUT;
    PumpMessages();
    if (!*alive) return WSA_WSOCKET_TIMEOUT;
    if (DoneFlag != 0) return 0;
    // Sleep until a message or socket event comes, or the time-out ends.
    DWORD wait = 50;
    if (FTimeout > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = DWORD(std::clamp<long long>(left, 0, 50));
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
  }
}
