#pragma once

#include <QString>

namespace kalvora::test {

/**
 * Makes a file or folder unwritable for the time of a test: by its mode bits,
 * and, for a superuser whom mode bits do not stop, by the immutable attribute.
 * isActive() is false when neither works here (the test should then skip).
 */
class ReadOnlyPath
{
public:
    explicit ReadOnlyPath(QString path);
    ~ReadOnlyPath();
    ReadOnlyPath(const ReadOnlyPath&) = delete;
    ReadOnlyPath& operator=(const ReadOnlyPath&) = delete;

    [[nodiscard]] bool isActive() const { return m_active; }

private:
    QString m_path;
    bool m_immutable = false;
    bool m_active = false;
};

/**
 * Overwrites every 4 KB page of FILE that holds NEEDLE, as a failing disk would:
 * the page that stores it now and any freed one that held it before. Returns the
 * number of pages damaged.
 */
int damagePagesHolding(const QString& file, const QByteArray& needle);

} // namespace kalvora::test
