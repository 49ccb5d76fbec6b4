#include "net/upload.hpp"

#include <algorithm>

#include "common/random.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "net/download.hpp"
#include "net/host_port.hpp"
#include "net/upload_reparse.hpp"
#include "platform/clock.hpp"
#include "platform/dialog.hpp"
#include "platform/files.hpp"
#include "platform/log_file.hpp"
#include "results/binary_results.hpp"
#include "results/text_results.hpp"

VersionNotice versionNotice;

namespace {

constexpr int kAttempts = 10;
constexpr int64_t kManualMinBytes = 10000;
constexpr int32_t kManualMinRecords = 10;
constexpr int64_t kMaxSignalBytes = 1 << 16;

char randomNameChar() {
    int64_t r = randomBelow(62);
    if (r < 26) return static_cast<char>('A' + r);
    if (r < 52) return static_cast<char>('a' + (r - 26));
    return static_cast<char>('0' + (r - 52));
}

bool httpUpload(const std::string& uploadFile, const UploadServer& server,
                const std::string& uploadPath, const NetSettings& net) {
    std::string remoteName = versionFolder(net.version) + "/" + uploadFile;
    // A host field of "host port" (the FTP form) or "host:port" names the
    // port of the upload server; the URL carries it as "host:port".
    std::string hostField = server.host;
    size_t space = hostField.find(' ');
    if (space != std::string::npos) hostField[space] = ':';
    std::string url = "http://" + hostField + uploadPath;
    HostPort direct = connectionTarget(hostField);
    bool proxy = !net.http.proxyHost.empty();
    std::string host = proxy ? net.http.proxyHost : direct.host;
    uint16_t port = !proxy ? direct.port : net.http.proxyPort != 0 ? net.http.proxyPort : 80;
    HttpAnswer answer = httpPostFile(uploadFile, remoteName, url, host, port, "Pelto", net.http);
    if (answer.ok && answer.body) {
        if (std::optional<std::string> signal = signalText(*answer.body)) {
            writeFileAtomic(kSignalFile, *signal);
        }
    }
    if (!answer.statusLine.empty()) report(answer.statusLine);
    return answer.ok;
}

// The first two lines of "signal.dat": the newest version and a message.
void readSignal(const NetSettings& net) {
    std::string text;
    if (readWholeFile(kSignalFile, text, kMaxSignalBytes) != ReadStatus::Ok) return;
    size_t firstEnd = text.find('\n');
    std::string first = text.substr(0, firstEnd);
    std::string second = firstEnd == std::string::npos ? std::string() : text.substr(firstEnd + 1);
    second = second.substr(0, second.find('\n'));
    auto trimControl = [](std::string& s, size_t max) {
        s = s.substr(0, max);
        while (!s.empty() && static_cast<unsigned char>(s.back()) < 32) s.pop_back();
    };
    trimControl(first, 99);
    trimControl(second, 999);
    versionNotice.latestVersion = first;
    versionNotice.versionMessage = second;
    if (lowerCopy(first) > lowerCopy(net.version) && net.displayMode != DisplayGraphics) {
        // One line of its own: in the console it must not run on from the
        // line before it, and the log keeps one line per message.
        std::string notice = format(
            "New version %s is available from the website (you are "
            "using version %s)%s%s",
            first.c_str(), net.version.c_str(), second.empty() ? "" : ": ", second.c_str());
        if (net.displayMode == DisplayBackground) {
            showMessageBox(notice, "Pelto: new version");
        } else {
            report(notice);
        }
    }
}

}  // namespace

std::string versionFolder(const std::string& version) {
    std::string folder = version;
    for (char& c : folder) {
        if (isBlank(c)) c = '_';
    }
    if (folder.size() == 2) {
        folder += ".0x";
    } else if (folder.size() >= 4 && folder.size() <= 6) {
        folder = folder.substr(0, 4) + "x";
    }
    return folder;
}

std::string uploadBaseName(const std::string& date, const std::string& time,
                           const std::string& userName) {
    std::string user = userName;
    for (char& c : user) {
        if (c == ' ') c = '_';
    }
    std::string random;
    for (int i = 0; i < 5; i++) random += randomNameChar();
    return date + "-" + time + "-" + random + "-" + user;
}

std::optional<std::string> signalText(const std::string& answer) {
    static const std::string open = "<pre id='signal'>";
    size_t start = answer.find(open);
    if (start == std::string::npos) return std::nullopt;
    start += open.size();
    size_t end = answer.find("</pre>", start);
    return answer.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int uploadResults(const std::string& resultsFile, const UploadServer& server,
                  const std::string& uploadPath, const NetSettings& net) {
    std::string date, time;
    utcDateAndTime(date, time);
    seedRandom(tickCountMs());
    std::string base = uploadBaseName(date, time, net.userName);
    std::string textName = base + ".txt";
    std::string binaryName = base + ".bin";
    if (!isSafeFileName(textName)) {
        reportf("The user name '%s' cannot be part of a file name; not sent", net.userName.c_str());
        return kUploadNotSent;
    }
    if (!fileExists(resultsFile)) {
        // sendResults says so once for the whole send.
        return kUploadNoFile;
    }
    ReparsedResults parsed;
    if (!reparseResults(resultsFile, net.uploadByHttp ? kHttpUploadLimit : 0, parsed) ||
        !writeFileAtomic(textName, parsed.text)) {
        reportf("Could not write the copy of '%s' to send; not sent", resultsFile.c_str());
        removeFile(textName);
        return kUploadNotSent;
    }
    saveBinaryResults(parsed.records, binaryName);
    // The results file itself stays untouched until the outcome is known, so
    // a crash or power cut during the transfer loses nothing.
    if (parsed.partial && !writeFileAtomic(kOverflowFile, parsed.rest)) {
        removeFile(textName);
        removeFile(binaryName);
        return kUploadNotSent;
    }
    int64_t binarySize = fileSize(binaryName);
    std::string uploadFile = textName;
    if (binarySize >= 0 && fileSize(textName) >= binarySize) {
        uploadFile = binaryName;
    } else {
        removeFile(binaryName);
    }

    bool sent = net.uploadByHttp ? httpUpload(uploadFile, server, uploadPath, net)
                                 : ftpUpload(uploadFile, server, net);
    if (!sent) {
        // What was not sent goes back, reparsed: the dropped records do not
        // return. Should the rewrite fail, the untouched original stays.
        writeFileAtomic(resultsFile, parsed.rest + parsed.text);
        removeFile(kOverflowFile);
        removeFile(textName);
        removeFile(binaryName);
        return kUploadNotSent;
    }
    if (parsed.partial) {
        renameFile(kOverflowFile, resultsFile);
    } else {
        removeFile(resultsFile);
    }
    if (fileExists(kSignalFile)) {
        if (!parsed.partial) readSignal(net);
        removeFile(kSignalFile);
    }
    removeFile(textName);
    removeFile(binaryName);
    report(parsed.partial ? "Some results sent." : "Results sent.");
    logLine(format("%u results sent to %s", parsed.records.count(), server.host.c_str()));
    appendToFile(kSendLog, format("%s-%s %u results sent to %s\n", date.c_str(), time.c_str(),
                                  parsed.records.count(), server.host.c_str()));
    return parsed.partial ? kUploadPartSent : kUploadAllSent;
}

SendOutcome sendResults(const std::string& resultsFile, const NetSettings& settings) {
    report("Attempting to send results...");
    // One deadline for the whole send, the server list's download and every
    // attempt included: a server that is silent, or drips its answer, cannot
    // hold the cycle for longer.
    NetSettings net = settings;
    double start = monotonicSeconds();
    net.http.deadline = start + std::max(0.0, settings.sendDeadline);
    net.downloadDeadline = std::min(net.downloadDeadline, settings.sendDeadline);
    downloadIfStale(kServersFile, 24, webUrl(net, kServersPath), std::nullopt, net);
    if (!fileExists(kServersFile)) {
        report("Could not get servers.csv file, so cannot send");
        return SendOutcome::NotSent;
    }
    std::optional<UploadServer> server = pickServer(kServersFile);
    int limit = kAttempts;
    int result = kUploadNotSent;
    bool anySent = false;
    for (int i = 1; server && i <= limit && result != kUploadAllSent && result != kUploadNoFile;
         i++) {
        if (monotonicSeconds() >= net.http.deadline) {
            reportf(
                "Sending took longer than %d seconds; the results stay in '%s' for the next "
                "send",
                static_cast<int>(settings.sendDeadline), resultsFile.c_str());
            break;
        }
        if (i > 1) reportf("Retrying: attempt %d of %d", i, limit);
        result = uploadResults(resultsFile, *server, kUploadPath, net);
        if (result == kUploadPartSent) {
            limit += 2;
            anySent = true;
        } else if (result == kUploadNotSent) {
            server = pickServer(kServersFile);
        }
    }
    if (result == kUploadNotSent) report("Currently offline.  Will try again later.");
    if (result == kUploadNoFile)
        reportf("No results to send: '%s' does not exist.", resultsFile.c_str());
    if (result == kUploadAllSent) return SendOutcome::AllSent;
    if (result == kUploadNoFile && !anySent) return SendOutcome::NothingToSend;
    return anySent ? SendOutcome::SomeSent : SendOutcome::NotSent;
}

int manualSend(const NetSettings& net, SendOutcome* outcome) {
    int64_t size = fileSize(kResultsToSend);
    if (size >= 0 && size < kManualMinBytes &&
        countResults(kResultsToSend, std::nullopt) < kManualMinRecords) {
        reportNotice(format("Not sent: '%s' is shorter than %u bytes and holds fewer than %u "
                            "results; send it when more have come in (many tiny uploads load "
                            "the project's servers for little).",
                            kResultsToSend, static_cast<unsigned>(kManualMinBytes),
                            static_cast<unsigned>(kManualMinRecords)),
                     "Pelto: results not sent");
        return 1;
    }
    SendOutcome sent = sendResults(kResultsToSend, net);
    if (outcome) *outcome = sent;
    return 0;
}

const char* sendOutcomeText(SendOutcome outcome) {
    switch (outcome) {
        case SendOutcome::AllSent:
            return "all results sent";
        case SendOutcome::SomeSent:
            return "some results sent, the rest wait for the next send";
        case SendOutcome::NothingToSend:
            return "nothing to send";
        case SendOutcome::NotSent:
            break;
    }
    return "not sent (offline or no server answered); the results wait for the next send";
}
