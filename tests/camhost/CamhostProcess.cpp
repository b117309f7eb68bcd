#include "camhost/CamhostProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

extern char** environ;

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

tsRun runCamhost(const std::vector<std::string>& args, const std::string& input) {
    const std::string inPath = "camhost.stdin", outPath = "camhost.stdout",
                      errPath = "camhost.stderr";
    std::ofstream(inPath, std::ios::binary) << input;

    std::vector<std::string> argv{TC120MXS_CAMHOST_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + argv[0]);

    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0) {
    }
    tsRun run;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = readText(outPath);
    run.err = readText(errPath);
    return run;
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
