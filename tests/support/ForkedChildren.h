#pragma once

#include <QList>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Work in real processes: a limit set there, or processes racing for a file.
// Each child ends on its own after 30 s, so a test cannot hang on one, and
// ignores SIGXFSZ, as the programs do, so a file-size limit fails a write.
// Returns the exit status of each child (128 + signal when one was killed).
inline QList<int> runInChildren(int count, const std::function<int(int child)> &work,
                                rlim_t sizeLimit = RLIM_INFINITY)
{
    QList<pid_t> children;
    for (int i = 0; i < count; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(30);
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{sizeLimit, sizeLimit};
            if (sizeLimit != RLIM_INFINITY)
                ::setrlimit(RLIMIT_FSIZE, &limit);
            ::_exit(work(i));
        }
        children.append(child);
    }
    QList<int> statuses;
    for (const pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        statuses.append(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    return statuses;
}
