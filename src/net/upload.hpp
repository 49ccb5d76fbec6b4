// Sending "results.txt" to one of the project's upload servers, by HTTP or
// FTP. The file is reparsed first (invalid, duplicate and ranking records are
// dropped) and sent as a text or a binary results file, whichever is smaller.
// Records that could not be sent stay in "results.txt" for the next try.
#pragma once

#include <optional>
#include <string>

#include "net/net_settings.hpp"
#include "net/servers.hpp"

inline constexpr const char* kResultsToSend = "results.txt";
inline constexpr const char* kUploadPath = "/pelto/uploadresults.php";
inline constexpr const char* kOverflowFile = "overflow.txt";
inline constexpr const char* kSignalFile = "signal.dat";
inline constexpr const char* kSendLog = "sendlog.log";
// What the FTP client wrote during the last FTP upload.
inline constexpr const char* kFtpLogFile = "ftp.log";
// An HTTP upload carries at most this many bytes of the results file; the
// rest goes in the next attempt.
inline constexpr int64_t kHttpUploadLimit = 400000;

enum class SendOutcome { AllSent, SomeSent, NothingToSend, NotSent };

// Results of one upload attempt.
inline constexpr int kUploadNotSent = 0;
inline constexpr int kUploadAllSent = 1;
inline constexpr int kUploadPartSent = 2;
inline constexpr int kUploadNoFile = -1;

// The newest version the project announced, and its message.
struct VersionNotice {
    std::string latestVersion = "Unknown";
    std::string versionMessage;
};
extern VersionNotice versionNotice;

SendOutcome sendResults(const std::string& resultsFile, const NetSettings& net);
// The -s switch: refuses a file too short to be worth a transfer, else sends
// "results.txt". Returns the exit status: 1 for a refused file, else 0.
// `outcome` gets how the send went, when it was tried.
int manualSend(const NetSettings& net, SendOutcome* outcome = nullptr);
// How a send went, in the user's words (for the log and the status).
const char* sendOutcomeText(SendOutcome outcome);
int uploadResults(const std::string& resultsFile, const UploadServer& server,
                  const std::string& uploadPath, const NetSettings& net);

// "v4.44d" gives "v4.4x": uploads of versions that share four characters
// land in one folder.
std::string versionFolder(const std::string& version);
// "yyyyMMdd-HHmmss-XXXXX-user", spaces of the user name turned into "_".
std::string uploadBaseName(const std::string& date, const std::string& time,
                           const std::string& userName);
// The text between "<pre id='signal'>" and the next "</pre>", if any.
std::optional<std::string> signalText(const std::string& answer);

// The FTP path: writes "script.ftp", runs the FTP command under a deadline
// and checks the round trip of a test file. True when the upload went through.
bool ftpUpload(const std::string& uploadFile, const UploadServer& server, const NetSettings& net);
