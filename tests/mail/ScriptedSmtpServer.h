#pragma once
// A small SMTP server on a free port of 127.0.0.1 that answers from a script:
// the normal replies unless the test sets another one for a command, which
// may come in pieces, not at all, or as a closed connection. It records every
// line it receives, so a test sees exactly what the station sent.

#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class ScriptedSmtpServer {
public:
    struct Reply {
        std::vector<std::string> pieces;  // sent one after the other, with a pause between
        bool close = false;               // close the connection instead of replying
    };
    static Reply Says(std::string text) { return Reply{{std::move(text)}, false}; }
    static Reply InPieces(std::vector<std::string> pieces) { return Reply{std::move(pieces), false}; }
    static Reply Silent() { return Reply{}; }
    static Reply Closes() { return Reply{{}, true}; }

    ScriptedSmtpServer()
    {
        replies["GREETING"] = Says("220 scripted.test ready\r\n");
        replies["HELO"] = Says("250 scripted.test\r\n");
        replies["MAIL"] = Says("250 sender ok\r\n");
        replies["RCPT"] = Says("250 recipient ok\r\n");
        replies["DATA"] = Says("354 end with <CRLF>.<CRLF>\r\n");
        replies["MESSAGE"] = Says("250 queued\r\n");
        replies["QUIT"] = Says("221 bye\r\n");

        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(listener, 8) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        port = ntohs(addr.sin_port);
        worker = std::thread([this] { Serve(); });
    }

    ~ScriptedSmtpServer()
    {
        stop = true;
        if (worker.joinable())
            worker.join();
        if (listener >= 0)
            close(listener);
    }

    ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
    ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

    uint16_t Port() const { return port; }

    // The reply to a command: "GREETING", "HELO", "MAIL", "RCPT", "DATA",
    // "MESSAGE" (the end of the mail data), "QUIT"; "RCPT#2" for the second
    // RCPT of a connection only; "HELO@3" (any command) in the third
    // connection only. Set before the station connects.
    void Set(const std::string& key, Reply reply)
    {
        std::lock_guard<std::mutex> guard(lock);
        replies[key] = std::move(reply);
    }

    // The command lines received, without their CR LF, over all connections.
    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return lines;
    }
    // The mail data of each message as received (still dot-stuffed), up to
    // and without the line ".".
    std::vector<std::string> Messages() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return messages;
    }
    int Connections() const { return connections.load(); }
    bool Received(const std::string& line) const
    {
        for (const std::string& l : Lines())
            if (l == line)
                return true;
        return false;
    }

private:
    void Serve()
    {
        while (!stop) {
            pollfd p{listener, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            const int conn = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (conn < 0)
                continue;
            Talk(conn, ++connections);
            close(conn);
        }
    }

    Reply Find(const std::string& key, int connection)
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = replies.find(key + "@" + std::to_string(connection));
        if (it == replies.end())
            it = replies.find(key);
        return it != replies.end() ? it->second : Says("500 unknown command\r\n");
    }

    // False when the connection is to be closed.
    bool Answer(int conn, const Reply& reply)
    {
        if (reply.close)
            return false;
        for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            const std::string& piece = reply.pieces[i];
            if (send(conn, piece.data(), piece.size(), MSG_NOSIGNAL) < 0)
                return false;
        }
        return true;
    }

    // True when the reply holds a line starting with "3" (the station is
    // then expected to send the mail data).
    static bool Intermediate(const Reply& reply)
    {
        std::string all;
        for (const std::string& piece : reply.pieces)
            all += piece;
        return all.rfind("3", 0) == 0 || all.find("\n3") != std::string::npos;
    }

    void Talk(int conn, int connection)
    {
        if (!Answer(conn, Find("GREETING", connection)))
            return;
        std::string pending;
        std::string data;
        bool inData = false;
        int rcptCount = 0;
        while (!stop) {
            pollfd p{conn, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            char buf[4096];
            const ssize_t n = recv(conn, buf, sizeof buf, 0);
            if (n <= 0)
                return;
            pending.append(buf, static_cast<std::size_t>(n));
            for (std::size_t eol; (eol = pending.find("\r\n")) != std::string::npos;) {
                const std::string line = pending.substr(0, eol);
                pending.erase(0, eol + 2);
                if (inData) {
                    if (line != ".") {
                        data += line + "\r\n";
                        continue;
                    }
                    inData = false;
                    {
                        std::lock_guard<std::mutex> guard(lock);
                        messages.push_back(data);
                    }
                    data.clear();
                    if (!Answer(conn, Find("MESSAGE", connection)))
                        return;
                    continue;
                }
                {
                    std::lock_guard<std::mutex> guard(lock);
                    lines.push_back(line);
                }
                std::string verb = line.substr(0, line.find_first_of(" :"));
                for (char& c : verb)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                Reply reply = Find(verb, connection);
                if (verb == "RCPT") {
                    ++rcptCount;
                    std::lock_guard<std::mutex> guard(lock);
                    auto it = replies.find("RCPT#" + std::to_string(rcptCount));
                    if (it != replies.end())
                        reply = it->second;
                }
                if (!Answer(conn, reply))
                    return;
                if (verb == "DATA" && Intermediate(reply))
                    inData = true;
                if (verb == "QUIT" && !reply.pieces.empty())
                    return;
            }
        }
    }

    mutable std::mutex lock;
    std::map<std::string, Reply> replies;
    std::vector<std::string> lines;
    std::vector<std::string> messages;
    std::atomic<int> connections{0};
    std::atomic<bool> stop{false};
    int listener = -1;
    uint16_t port = 0;
    std::thread worker;
};
