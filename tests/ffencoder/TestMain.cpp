// Test entry. Besides the tests, the program records on behalf of a test that needs a process
// of its own (killed, or with a file-size limit):
//   kvc_ffencoder_tests --child-record PATH [FILE_SIZE_LIMIT_BYTES]
// records the realtime fake input endlessly and prints each end report as a line
// "END <task> <finished> <exception> <message>".
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/resource.h>

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "FFEncoder.h"
#include "TestMedia.h"

namespace {

int childRecord(const char* path, long long limit) {
    if (limit > 0) {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead
        rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        setrlimit(RLIMIT_FSIZE, &rl);
    }
    TFFEncoder enc;
    TInputOptions in;
    in.Options = "-f kvc_fake -duration 0 -realtime 1 -s 320x240 -r 15";
    if (enc.AddTask("video+audio", in) < 0) {
        std::printf("ADDTASK %s\n", enc.LastErrMsg().c_str());
        return 2;
    }
    TOutputOptions out;
    out.Options = "-c:a aac -b:a 128k -ar 44100 -c:v mpeg4 -s 320x240 -b:v 1000k";
    if (enc.SetOutput(0, path, out) < 0) {
        std::printf("SETOUTPUT %s\n", enc.LastErrMsg().c_str());
        return 2;
    }
    enc.OnTerminate = [](QObject*, const TTerminateInfo& t) {
        std::printf("END %d %d %d %s\n", t.TaskIndex, t.Finished, t.Exception,
                    t.ExceptionMsg.c_str());
        std::fflush(stdout);
        if (t.TaskIndex < 0)
            QCoreApplication::quit();
    };
    enc.Start(1);
    std::printf("STARTED\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RegisterFakeInput();
    if (argc >= 3 && std::strcmp(argv[1], "--child-record") == 0)
        return childRecord(argv[2], argc >= 4 ? std::atoll(argv[3]) : 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
