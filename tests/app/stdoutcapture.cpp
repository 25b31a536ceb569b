#include "stdoutcapture.h"

#include <QStringList>

#include <unistd.h>

StdoutCapture::StdoutCapture() : m_file(std::tmpfile()), m_savedStdout(dup(STDOUT_FILENO))
{
    std::fflush(stdout);
    dup2(fileno(m_file), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture()
{
    std::fflush(stdout);
    dup2(m_savedStdout, STDOUT_FILENO);
    close(m_savedStdout);
    std::fclose(m_file);
}

QString StdoutCapture::text() const
{
    std::fflush(stdout);
    QByteArray bytes;
    char chunk[4096];
    std::size_t read = 0;
    std::rewind(m_file);
    while ((read = std::fread(chunk, 1, sizeof chunk, m_file)) > 0)
        bytes.append(chunk, int(read));
    std::fseek(m_file, 0, SEEK_END);
    return QString::fromUtf8(bytes);
}

QStringList StdoutCapture::lines() const
{
    return text().split('\n', Qt::SkipEmptyParts);
}
