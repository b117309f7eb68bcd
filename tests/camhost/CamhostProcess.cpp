#include "camhost/CamhostProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace camhosttest {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

nlohmann::json readJson(const std::string& path) {
    return nlohmann::json::parse(readText(path));
}

namespace {

// Starts argv[0] with the three standard streams on the given files; the errno of a failed
// exec, or 0 with the child's pid.
int start(std::vector<std::string> argv, const std::string& in, const std::string& out,
          const std::string& err, pid_t& pid) {
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return errno;
    pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        return error;
    }
    if (pid == 0) {
        const int fds[3] = {open(in.c_str(), O_RDONLY),
                            open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                            open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int i = 0; i < 3; ++i)
            if (fds[i] < 0 || dup2(fds[i], i) < 0)
                _exit(127);
        execv(pointers[0], pointers.data());
        const int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    close(report[1]);
    int error = 0;
    const bool failed = read(report[0], &error, sizeof error) == sizeof error;
    close(report[0]);
    if (failed) {
        int ignored = 0;
        waitpid(pid, &ignored, 0);
        return error;
    }
    return 0;
}

} // namespace

const char* const kInPath = "camhost.stdin";
const char* const kOutPath = "camhost.stdout";
const char* const kErrPath = "camhost.stderr";

tcCamhostProcess::tcCamhostProcess(const std::vector<std::string>& args, const std::string& input,
                                   const std::string& program) {
    std::ofstream(kInPath, std::ios::binary) << input;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t child = 0;
    int error = start(argv, kInPath, kOutPath, kErrPath, child);
    if (error == ENOEXEC) {
        // A cross-built camhost while the tests themselves run under qemu-arm: the kernel
        // cannot run it directly, the emulator can.
        std::vector<std::string> emulated{"/usr/bin/qemu-arm", "-L", "/usr/arm-linux-gnueabihf"};
        emulated.insert(emulated.end(), argv.begin(), argv.end());
        error = start(emulated, kInPath, kOutPath, kErrPath, child);
    }
    if (error != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
    pid = child;
}

tcCamhostProcess::~tcCamhostProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        wait();
    }
}

bool tcCamhostProcess::waitForOutput(const std::string& text, int timeoutMs, bool onError) const {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        if (readText(onError ? kErrPath : kOutPath).find(text) != std::string::npos)
            return true;
        usleep(10000);
    }
    return false;
}

void tcCamhostProcess::signal(int number) const {
    if (pid > 0)
        kill(pid, number);
}

tsRun tcCamhostProcess::wait() {
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    tsRun run;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    run.out = readText(kOutPath);
    run.err = readText(kErrPath);
    return run;
}

tsRun runCamhost(const std::vector<std::string>& args, const std::string& input,
                 const std::string& program) {
    return tcCamhostProcess(args, input, program).wait();
}

tsVcd parseVcd(const std::string& text) {
    tsVcd vcd;
    std::istringstream in(text);
    std::vector<std::string> scopes;
    long long time = 0;
    bool definitions = true;
    bool dumpvars = false; // initial values, not changes
    for (std::string token; in >> token;) {
        if (definitions) {
            if (token == "$timescale") {
                std::string part;
                while (in >> part && part != "$end")
                    vcd.timescale += (vcd.timescale.empty() ? "" : " ") + part;
            } else if (token == "$scope") {
                std::string kind, name, end;
                in >> kind >> name >> end;
                scopes.push_back(name);
            } else if (token == "$upscope") {
                std::string end;
                in >> end;
                if (!scopes.empty())
                    scopes.pop_back();
            } else if (token == "$var") {
                std::string type, id, name, part;
                int width = 0;
                in >> type >> width >> id >> name;
                while (in >> part && part != "$end") {
                }
                std::string full = scopes.empty() ? name : scopes.back() + "." + name;
                vcd.names[full] = id;
                vcd.widths[id] = width;
            } else if (token == "$enddefinitions") {
                std::string end;
                in >> end;
                definitions = false;
            } else if (token[0] == '$') {
                std::string part;
                while (token != "$end" && in >> part && part != "$end") {
                }
            }
            continue;
        }
        if (token == "$dumpvars" || token == "$end") {
            dumpvars = token == "$dumpvars";
            continue;
        }
        if (token[0] == '#') {
            const long long next = std::stoll(token.substr(1));
            if (next < time)
                vcd.monotonic = false;
            time = next;
        } else if (token[0] == 'b' || token[0] == 'B') {
            std::string id;
            in >> id;
            if (!vcd.widths.count(id))
                vcd.undeclared = true;
            if (!dumpvars)
                vcd.changes[id].emplace_back(time, token);
        } else {
            const std::string id = token.substr(1);
            if (!vcd.widths.count(id))
                vcd.undeclared = true;
            if (!dumpvars)
                vcd.changes[id].emplace_back(time, token.substr(0, 1));
        }
    }
    return vcd;
}

} // namespace camhosttest
