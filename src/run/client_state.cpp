#include "run/client_state.hpp"

#include <cerrno>
#include <cstdlib>

#include "platform/clock.hpp"
#include "platform/files.hpp"

namespace {

// The file holds a handful of short lines; anything larger is not ours.
constexpr int64_t kMaxStateBytes = 64 * 1024;
constexpr size_t kMaxValueChars = 1000;

struct Field {
    const char* key;
    std::string ClientState::*text;  // none: the run count
};

// One row per line of the file, in the order they are written.
const Field kFields[] = {
    {"runs done", nullptr},                           // runsDone
    {"last run", &ClientState::lastRun},              // outcome line
    {"last run at", &ClientState::lastRunTime},       // when it ended
    {"last send", &ClientState::lastSend},            // how it ended
    {"last send at", &ClientState::lastSendTime},     // when
    {"running", &ClientState::currentRun},            // lattice in progress
    {"running since", &ClientState::currentRunTime},  // when it started
};

std::string cleanValue(std::string value) {
    if (value.size() > kMaxValueChars) value.resize(kMaxValueChars);
    for (char& c : value) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
    }
    return value;
}

void readLine(const std::string& line, ClientState& state) {
    size_t colon = line.find(": ");
    if (colon == std::string::npos) return;
    std::string key = line.substr(0, colon);
    std::string value = cleanValue(line.substr(colon + 2));
    for (const Field& field : kFields) {
        if (key != field.key) continue;
        if (field.text) {
            state.*field.text = value;
        } else {
            errno = 0;
            char* end = nullptr;
            long long n = std::strtoll(value.c_str(), &end, 10);
            if (errno == 0 && end != value.c_str() && n >= 0) state.runsDone = n;
        }
    }
}

}  // namespace

ClientState clientStateLoad(const std::string& path) {
    ClientState state;
    std::string text;
    if (readWholeFile(path, text, kMaxStateBytes) != ReadStatus::Ok) return state;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        readLine(line, state);
        start = end + 1;
    }
    return state;
}

bool clientStateSave(const ClientState& state, const std::string& path) {
    std::string text;
    for (const Field& field : kFields) {
        std::string value =
            field.text ? cleanValue(state.*field.text) : std::to_string(state.runsDone);
        if (value.empty()) continue;
        text += std::string(field.key) + ": " + value + "\n";
    }
    return writeFileAtomic(path, text);
}

void clientStateRunStarted(const std::string& lattice, const std::string& path) {
    ClientState state = clientStateLoad(path);
    state.currentRun = lattice;
    state.currentRunTime = localDateTimeText();
    clientStateSave(state, path);
}

void clientStateRunFinished(const std::string& outcomeLine, const std::string& path) {
    ClientState state = clientStateLoad(path);
    state.runsDone++;
    state.lastRun = outcomeLine;
    state.lastRunTime = localDateTimeText();
    state.currentRun.clear();
    state.currentRunTime.clear();
    clientStateSave(state, path);
}

void clientStateSent(const std::string& outcome, const std::string& path) {
    ClientState state = clientStateLoad(path);
    state.lastSend = outcome;
    state.lastSendTime = localDateTimeText();
    clientStateSave(state, path);
}
