#include "tests/support/ScriptedSmtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
}

}  // namespace

TEST(ScriptedSmtpServer, PlaysRowsRecordsBytesAndMessages) {
    TScriptedSmtpServer server({"S: 220 hi", "C: EHLO x", "S: 250-a", "S: 250 b", "C: DATA", "S: 354 go", "DATA",
                                "S: 250 ok", "RAW: 221 x"});
    const int fd = ConnectTo(server.Port());
    std::string line;
    ASSERT_TRUE(TLoopbackServer::ReadLine(fd, line));
    EXPECT_EQ(line, "220 hi");
    TLoopbackServer::SendAll(fd, "EHLO x\r\n");
    TLoopbackServer::ReadLine(fd, line);
    TLoopbackServer::ReadLine(fd, line);
    EXPECT_EQ(line, "250 b");
    TLoopbackServer::SendAll(fd, "DATA\r\n");
    TLoopbackServer::ReadLine(fd, line);
    TLoopbackServer::SendAll(fd, "Subject: s\r\n\r\n..dot\r\n.\r\n");
    TLoopbackServer::ReadLine(fd, line);
    EXPECT_EQ(line, "250 ok");
    EXPECT_EQ(TLoopbackServer::ReadAll(fd, 200), "221 x");
    ::close(fd);
    server.Join();
    EXPECT_TRUE(server.Failures().empty());
    EXPECT_EQ(server.Received(), "EHLO x\r\nDATA\r\nSubject: s\r\n\r\n..dot\r\n.\r\n");
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0], "Subject: s\r\n\r\n..dot\r\n");
    EXPECT_EQ(server.Reads().size(), 3u);
}

TEST(ScriptedSmtpServer, ReportsWrongAndUnexpectedLines) {
    {
        TScriptedSmtpServer server(TScriptedSmtpServer::TScript{"C: EHLO x", "S: 250 ok"});
        const int fd = ConnectTo(server.Port());
        TLoopbackServer::SendAll(fd, "HELO x\r\n");
        EXPECT_EQ(TLoopbackServer::ReadAll(fd, 2000), "");  // closed, no reply
        ::close(fd);
        server.Join();
        EXPECT_EQ(server.Failures(), std::vector<std::string>{"expected 'EHLO x', got 'HELO x'"});
    }
    TScriptedSmtpServer server(TScriptedSmtpServer::TScript{"S: 220 hi"});
    const int fd = ConnectTo(server.Port());
    TLoopbackServer::SendAll(fd, "QUIT\r\n");
    ::shutdown(fd, SHUT_WR);
    TLoopbackServer::ReadAll(fd, 2000);
    ::close(fd);
    server.Join();
    EXPECT_EQ(server.Failures(), std::vector<std::string>{"unexpected 'QUIT'"});
}
