#include "server/options.hpp"

#include <cstdlib>

const char* const kServerUsage =
    "Usage: pelto-server --root DIR [--port N] [--bind ADDR] [--port-file FILE]\n"
    "                    [--settle SECONDS] [--max-upload-bytes N] [--max-records N]\n"
    "                    [--uploads-per-hour N] [--chart-dir DIR]\n"
    "       pelto-server --root DIR --check\n"
    "       pelto-server --root DIR --backup FILE\n";

namespace {

bool wholeNumber(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return *end == 0 && out >= lo && out <= hi;
}

}  // namespace

std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args,
                                                std::string& error) {
    ServerOptions o;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            error.clear();
            return std::nullopt;
        }
        if (a == "--check") {
            o.check = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = a + " needs a value or is unknown";
            return std::nullopt;
        }
        const std::string& v = args[++i];
        long long n = 0;
        bool ok = true;
        if (a == "--root") {
            o.root = v;
        } else if (a == "--bind") {
            o.bind = v;
        } else if (a == "--port") {
            ok = wholeNumber(v, 0, 65535, n);
            o.port = static_cast<int>(n);
        } else if (a == "--port-file") {
            o.portFile = v;
        } else if (a == "--backup") {
            o.backup = v;
        } else if (a == "--chart-dir") {
            o.chartDir = v;
        } else if (a == "--settle") {
            ok = wholeNumber(v, 0, 3600, n);
            o.settleSeconds = static_cast<double>(n);
        } else if (a == "--max-upload-bytes") {
            ok = wholeNumber(v, 1, int64_t(1) << 40, n);
            o.limits.maxBytes = n;
        } else if (a == "--max-records") {
            ok = wholeNumber(v, 1, int64_t(1) << 40, n);
            o.limits.maxRecords = n;
        } else if (a == "--uploads-per-hour") {
            ok = wholeNumber(v, 0, int64_t(1) << 40, n);
            o.limits.uploadsPerHour = n;
        } else {
            error = "unknown option " + a;
            return std::nullopt;
        }
        if (!ok) {
            error = "bad value for " + a + ": " + v;
            return std::nullopt;
        }
    }
    if (o.root.empty()) {
        error = "--root DIR is required";
        return std::nullopt;
    }
    return o;
}
