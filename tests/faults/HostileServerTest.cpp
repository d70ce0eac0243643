// The new-version check against servers that misbehave on purpose: a body without end, a body
// that trickles in, headers without end, bytes that are no HTTP, a binary body. Each check must
// end in bounded time, write no more than the size cap to the disk, and tell a user who asked
// that the program is the latest version, leaving no local copy behind.
#include "AppState.h"
#include "UpdateCheck.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

enum class TBehaviour { EndlessBody, TrickleBody, EndlessHeaders, NotHttp, BinaryBody };

// A server on 127.0.0.1 that answers every connection in one hostile way until the client goes.
class THostileServer {
public:
    explicit THostileServer(TBehaviour behaviour) : FBehaviour(behaviour) {
        FListen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (FListen < 0 || bind(FListen, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            listen(FListen, 4) != 0 ||
            getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return;
        }
        FPort = ntohs(addr.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~THostileServer() {
        FStop = true;
        if (FThread.joinable()) {
            FThread.join();
        }
        if (FListen >= 0) {
            close(FListen);
        }
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/news.ini"; }
    int Port() const { return FPort; }

private:
    bool Send(int fd, const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size() && !FStop) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return !FStop;
    }

    void Answer(int fd) {
        // Read the request (up to its blank line, or a second).
        std::string request;
        for (int i = 0; i < 10 && request.find("\r\n\r\n") == std::string::npos; ++i) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                char buf[1024];
                const ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n <= 0) {
                    return;
                }
                request.append(buf, static_cast<size_t>(n));
            }
        }
        const std::string ok = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n";
        switch (FBehaviour) {
        case TBehaviour::EndlessBody: {
            if (!Send(fd, ok + "\r\n[News]\r\n")) {
                return;
            }
            const std::string chunk(16384, 'A');
            while (Send(fd, chunk)) {
            }
            return;
        }
        case TBehaviour::TrickleBody:
            if (!Send(fd, ok + "\r\n")) {
                return;
            }
            while (Send(fd, "[")) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            return;
        case TBehaviour::EndlessHeaders: {
            if (!Send(fd, ok)) {
                return;
            }
            const std::string header = "X-Filler: " + std::string(1000, 'h') + "\r\n";
            while (Send(fd, header)) {
            }
            return;
        }
        case TBehaviour::NotHttp: {
            std::string noise;
            for (int i = 0; i < 4096; ++i) {
                noise += static_cast<char>((i * 131 + 7) & 0xff);
            }
            Send(fd, noise);
            return;
        }
        case TBehaviour::BinaryBody: {
            std::string body;
            for (int i = 0; i < 8192; ++i) {
                body += static_cast<char>((i * 197 + 3) & 0xff);
            }
            Send(fd, ok + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
            return;
        }
        }
    }

    void Serve() {
        while (!FStop) {
            pollfd p{FListen, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) {
                continue;
            }
            const int fd = accept(FListen, nullptr, nullptr);
            if (fd < 0) {
                continue;
            }
            Answer(fd);
            close(fd);
        }
    }

    TBehaviour FBehaviour;
    int FListen = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

struct TCase {
    const char* name;
    TBehaviour behaviour;
};

const TCase Cases[] = {
    {"endless_body", TBehaviour::EndlessBody},       {"trickle_body", TBehaviour::TrickleBody},
    {"endless_headers", TBehaviour::EndlessHeaders}, {"not_http", TBehaviour::NotHttp},
    {"binary_body", TBehaviour::BinaryBody},
};

class HostileUpdateServer : public ::testing::TestWithParam<TCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        AppDataFolder = FFolder.path() + QStringLiteral("/data/");
        InitVersionFormatSettings();
    }
    QTemporaryDir FFolder;
};

TEST_P(HostileUpdateServer, CheckEndsInTimeAndSaysLatest) {
    THostileServer server(GetParam().behaviour);
    ASSERT_NE(server.Port(), 0);

    TUpdateCheckConfig config;
    config.UpdateUrl = server.Url();
    config.Http.ConnectTimeoutMs = 2000;
    config.Http.TransferTimeoutMs = 3000; // the trickle would otherwise run for the default 30 s
    std::atomic<bool> abort{false};
    // The message is posted before the local copy is removed: its size then is what the
    // transfer wrote to the disk.
    const QString localFile = AppDataFolder + QStringLiteral("news.ini");
    std::vector<int> posted;
    qint64 largest = -1;
    std::mutex postedLock;
    CheckingNewVersion.store(true);
    auto check = std::make_unique<TCheckNewVerThread>(
        config,
        [&](int msg) {
            std::lock_guard guard(postedLock);
            posted.push_back(msg);
            largest = QFileInfo(localFile).size();
        },
        &abort);
    check->m_GrabMode = 1;

    std::promise<void> ended;
    std::future<void> endedFuture = ended.get_future();
    const auto started = std::chrono::steady_clock::now();
    std::thread worker([&] {
        check->Run();
        check.reset();
        ended.set_value();
    });
    const bool endedInTime =
        endedFuture.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    abort = true;
    worker.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    EXPECT_TRUE(endedInTime) << "the check ran for " << seconds << " s";
    EXPECT_LE(largest, static_cast<qint64>(config.Http.MaxBodyBytes));
    EXPECT_FALSE(QFileInfo::exists(localFile));
    EXPECT_FALSE(CheckingNewVersion.load());
    std::lock_guard guard(postedLock);
    EXPECT_EQ(posted, std::vector<int>{WM_IS_LATEST_VERSION});
    std::printf("%s: ended after %.2f s, local copy at most %lld bytes\n", GetParam().name, seconds,
                static_cast<long long>(largest));
}

INSTANTIATE_TEST_SUITE_P(Servers, HostileUpdateServer, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
