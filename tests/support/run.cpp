#include "support/run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace kxtest {

std::string MakeTempDir() {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kxtest-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) return "/tmp";
    return buf.data();
}

std::string WriteFile(const std::string& dir, const std::string& name, const std::string& text) {
    std::string path = dir + "/" + name;
    std::ofstream f(path, std::ios::binary);
    f << text;
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

RunResult RunKx(const std::vector<std::string>& args, const std::string& dir, const std::string* stdinText,
                const std::vector<std::string>& env) {
    return RunBinary(KX_BINARY, args, dir, stdinText, env);
}

RunResult RunBinary(const std::string& binary, const std::vector<std::string>& args, const std::string& dir,
                    const std::string* stdinText, const std::vector<std::string>& env) {
    RunResult r;
    int outPipe[2], errPipe[2], inPipe[2];
    if (pipe(outPipe) || pipe(errPipe) || pipe(inPipe)) {
        r.status = -1;
        return r;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
    if (stdinText) {
        posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    } else {
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    }
    for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1], inPipe[0], inPipe[1]})
        posix_spawn_file_actions_addclose(&fa, fd);
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.push_back(*e);
    for (const std::string& setting : env) {
        std::string key = setting.substr(0, setting.find('='));
        for (auto it = envStrings.begin(); it != envStrings.end();) {
            if (it->compare(0, key.size() + 1, key + "=") == 0)
                it = envStrings.erase(it);
            else
                ++it;
        }
        if (setting.find('=') != std::string::npos) envStrings.push_back(setting);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{binary};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid;
    int rc = posix_spawn(&pid, binary.c_str(), &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    close(outPipe[1]);
    close(errPipe[1]);
    close(inPipe[0]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        close(inPipe[1]);
        r.status = -1;
        return r;
    }
    // Feed standard input and drain both outputs without deadlocking.
    size_t written = 0;
    std::string input = stdinText ? *stdinText : std::string();
    int inFd = inPipe[1];
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    } else {
        fcntl(inFd, F_SETFL, O_NONBLOCK);
    }
    bool outOpen = true, errOpen = true;
    char buf[65536];
    while (outOpen || errOpen) {
        pollfd fds[3];
        int n = 0;
        int outIdx = -1, errIdx = -1, inIdx = -1;
        if (outOpen) fds[outIdx = n++] = {outPipe[0], POLLIN, 0};
        if (errOpen) fds[errIdx = n++] = {errPipe[0], POLLIN, 0};
        if (inFd >= 0) fds[inIdx = n++] = {inFd, POLLOUT, 0};
        if (poll(fds, n, -1) < 0) break;
        if (outIdx >= 0 && fds[outIdx].revents) {
            ssize_t k = read(outPipe[0], buf, sizeof buf);
            if (k <= 0)
                outOpen = false;
            else
                r.out.append(buf, k);
        }
        if (errIdx >= 0 && fds[errIdx].revents) {
            ssize_t k = read(errPipe[0], buf, sizeof buf);
            if (k <= 0)
                errOpen = false;
            else
                r.err.append(buf, k);
        }
        if (inIdx >= 0 && fds[inIdx].revents) {
            ssize_t k = write(inFd, input.data() + written, input.size() - written);
            if (k > 0) written += k;
            if (k < 0 || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
    }
    if (inFd >= 0) close(inFd);
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

RunResult RunScene(const std::string& sceneText, std::string* dirOut, const std::vector<std::string>& env) {
    std::string dir = MakeTempDir();
    WriteFile(dir, "scene.kx", sceneText);
    if (dirOut) *dirOut = dir;
    return RunKx({"scene.kx"}, dir, nullptr, env);
}

Image ReadPPM(const std::string& path) {
    Image img;
    std::string data = ReadFile(path);
    std::istringstream in(data);
    std::string magic;
    int maxval = 0;
    in >> magic >> img.width >> img.height >> maxval;
    if (magic != "P6" || maxval != 255 || img.width < 0 || img.height < 0) return img;
    in.get();
    size_t n = static_cast<size_t>(img.width) * img.height * 3;
    size_t offset = static_cast<size_t>(in.tellg());
    if (data.size() != offset + n) return img;
    img.rgb.assign(data.begin() + offset, data.end());
    img.ok = true;
    return img;
}

bool TerminalAvailable() {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return false;
    close(master);
    close(slave);
    return true;
}

std::string RunOnTerminal(const std::string& dir, int* status) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
    termios raw;
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(slave, 2);
        close(master);
        close(slave);
        close(null);
        if (chdir(dir.c_str()) != 0) _exit(126);
        execl(KX_BINARY, KX_BINARY, "scene.kx", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(slave);
    std::string text;
    char buf[4096];
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;  // EIO once the program has closed the terminal
        text.append(buf, static_cast<size_t>(n));
    }
    close(master);
    int st = 0;
    waitpid(pid, &st, 0);
    *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return text;
}

}  // namespace kxtest
