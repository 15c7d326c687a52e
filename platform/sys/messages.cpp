// The one way the program shows a message box: a replaceable sink (Qt's message box in the GUI, standard error in
// the CLI, a recorder in tests).
#include "sys.h"

#include <cstdio>

namespace {

void WriteToStderr(const Message& m) {
    const std::string line = AnsiToUtf8(m.caption) + ": " + AnsiToUtf8(m.text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// The current message sink. Written by SetMessageSink (start-up, the CLI, tests); read by ShowMessage.
MessageSink gMessageSink = WriteToStderr;

} // namespace

MessageSink SetMessageSink(MessageSink sink) {
    MessageSink previous = std::move(gMessageSink);
    gMessageSink = sink ? std::move(sink) : MessageSink(WriteToStderr);
    return previous;
}

void ShowMessage(std::string_view text, std::string_view caption, MsgIcon icon) {
    gMessageSink(Message{std::string(caption), std::string(text), icon});
}

const char* MsgIconName(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Stop: return "stop";
    case MsgIcon::Exclamation: return "exclamation";
    case MsgIcon::None: break;
    }
    return "none";
}

MessageRecorder::MessageRecorder() {
    previous_ = SetMessageSink([this](const Message& m) { messages.push_back(m); });
}

MessageRecorder::~MessageRecorder() { SetMessageSink(std::move(previous_)); }
