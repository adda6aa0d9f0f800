// Sends one message with the given files as attachments to an SMTP server
// (in clear, over implicit TLS or after STARTTLS) the way the main window
// does, and prints the attachment payload, wall and CPU seconds and the
// process's peak resident memory next to its size before the send.
//   bench_SendBench [--tls | --starttls] [--host H] --port N file...
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "message/IdAttachmentFile.h"
#include "message/IdMessage.h"
#include "net/IdSSLOpenSSL.h"
#include "smtp/IdSMTP.h"

namespace {

struct TOptions {
    std::string host = "127.0.0.1";
    int port = 0;
    TIdUseTLS tls = utNoTLSSupport;
    std::vector<std::string> files;
};

bool ParseArguments(int argc, char** argv, TOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tls") {
            options.tls = utUseImplicitTLS;
        } else if (arg == "--starttls") {
            options.tls = utUseRequireTLS;
        } else if ((arg == "--host" || arg == "--port") && i + 1 < argc) {
            if (arg == "--host")
                options.host = argv[++i];
            else
                options.port = std::atoi(argv[++i]);
        } else {
            options.files.push_back(arg);
        }
    }
    return options.port > 0 && !options.files.empty();
}

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Current resident set in KiB, from /proc/self/statm.
long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

void Configure(TIdSMTP& smtp, const TOptions& options) {
    if (options.tls != utNoTLSSupport) {
        auto* handler = new TIdSSLIOHandlerSocketOpenSSL(&smtp);
        handler->SSLOptions().SetMethod(sslvSSLv23);
        smtp.SetIOHandler(handler);
        smtp.SetUseTLS(options.tls);
    }
    smtp.SetHost(options.host);
    smtp.SetPort(options.port);
    smtp.SetHeloName("Telvara");
    smtp.SetMailAgent("TelVara");
    smtp.SetConnectTimeout(3000);
    smtp.SetReadTimeout(60000);
}

void Fill(TIdMessage& message, const TOptions& options) {
    message.Clear();
    message.SetSubject("Prova di invio");
    message.Body().Add("Messaggio di prova.");
    message.From().SetText("tecnico@sortello.test");
    message.Sender().SetText("tecnico@sortello.test");
    message.Recipients().SetEMailAddresses("sink@sortello.test");
    for (const auto& file : options.files) new TIdAttachmentFile(&message.MessageParts(), file);
}

int64_t PayloadBytes(const TOptions& options) {
    int64_t total = 0;
    for (const auto& file : options.files) {
        TFileStream stream(file);
        total += stream.Size();
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--tls | --starttls] [--host H] --port N file...\n", argv[0]);
        return 2;
    }
    try {
        TIdSMTP smtp;
        Configure(smtp, options);
        TIdMessage message;
        Fill(message, options);
        const int64_t payload = PayloadBytes(options);
        smtp.Connect();
        const long idle = ResidentKiB();
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        smtp.Send(message);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        smtp.Disconnect();
        const double mib = static_cast<double>(payload) / (1024.0 * 1024.0);
        std::printf("payload_mib=%.1f wall_s=%.3f mib_per_s=%.1f cpu_s=%.3f idle_rss_mib=%.1f peak_rss_mib=%.1f\n", mib,
                    wall, mib / wall, CpuSeconds(after) - CpuSeconds(before), idle / 1024.0,
                    after.ru_maxrss / 1024.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "send failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
