#ifndef STDOUTCAPTURE_H
#define STDOUTCAPTURE_H

#include <QString>

#include <cstdio>

// Redirects the process's standard output into a temporary file for its lifetime, so a test
// can read back exactly what printf and puts wrote.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Everything written so far, as UTF-8.
    QString text() const;
    QStringList lines() const;

private:
    std::FILE *m_file;
    int m_savedStdout;
};

#endif  // STDOUTCAPTURE_H
