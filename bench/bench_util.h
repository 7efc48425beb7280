// Helpers the benchmark programs share: the fixed sequence their made-up
// databases are drawn from, and standard error silenced around timed calls.
#ifndef BENCH_BENCH_UTIL_H
#define BENCH_BENCH_UTIL_H

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <vector>

// Uniform values in [0, 1) with 53 bits each, from a 64-bit linear
// congruential sequence with a fixed start, so that every run times the
// same database.
class BenchUniform {
public:
    double next()
    {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) / 9007199254740992.0;
    }

private:
    unsigned long long state_ = 12345;  // the sequence's last value
};

// n rows of d features and a label 1..classes (row r in class
// r % classes + 1): feature i of a row is uniform plus shift(label, i).
template <typename Shift>
std::vector<double> class_database(int n, int d, int classes, Shift shift)
{
    std::vector<double> data(static_cast<size_t>(n) * (d + 1));
    BenchUniform uniform;
    for (int r = 0; r < n; ++r) {
        int label = r % classes + 1;
        double* row = &data[static_cast<size_t>(r) * (d + 1)];
        for (int i = 0; i < d; ++i)
            row[i] = uniform.next() + shift(label, i);
        row[d] = label;
    }
    return data;
}

// 5 classes, class c shifted by 0.1 c in two features of every three.
inline std::vector<double> five_class_database(int n, int d)
{
    return class_database(n, d, 5, [](int label, int i) { return 0.1 * label * (i % 3); });
}

// Sends standard error to /dev/null while it lives: the plug-ins' console
// output (progress counters) must not set the pace of what is timed.
class QuietStderr {
public:
    QuietStderr()
    {
        std::fflush(stderr);
        saved_ = dup(2);
        null_fd_ = open("/dev/null", O_WRONLY);
        dup2(null_fd_, 2);
    }
    ~QuietStderr()
    {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        close(null_fd_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_;    // the real standard error, put back at the end
    int null_fd_;  // /dev/null, standard error meanwhile
};

// Seconds from start until now.
inline double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#endif
