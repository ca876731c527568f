#pragma once

// Typed accessors for a stored attribute: `name()` reads it (absent as 0, false,
// empty or invalid), `setName(v)` assigns it. Only for use inside record classes.
#define KALVORA_DOUBLE_ATTRIBUTE(name, Name)                                                                     \
    double name() const { return doubleValue(QStringLiteral(#name)); }                                          \
    void set##Name(double v) { setValue(QStringLiteral(#name), v); }
#define KALVORA_INTEGER_ATTRIBUTE(name, Name)                                                                    \
    qint64 name() const { return integerValue(QStringLiteral(#name)); }                                         \
    void set##Name(qint64 v) { setValue(QStringLiteral(#name), v); }
#define KALVORA_BOOL_ATTRIBUTE(name, Name)                                                                       \
    bool name() const { return boolValue(QStringLiteral(#name)); }                                              \
    void set##Name(bool v) { setValue(QStringLiteral(#name), v); }
#define KALVORA_STRING_ATTRIBUTE(name, Name)                                                                     \
    QString name() const { return stringValue(QStringLiteral(#name)); }                                         \
    void set##Name(const QString& v) { setValue(QStringLiteral(#name), v); }
#define KALVORA_DATE_ATTRIBUTE(name, Name)                                                                       \
    QDateTime name() const { return dateValue(QStringLiteral(#name)); }                                         \
    void set##Name(const QDateTime& v) { setValue(QStringLiteral(#name), v); }
#define KALVORA_DATA_ATTRIBUTE(name, Name)                                                                       \
    QByteArray name() const { return dataValue(QStringLiteral(#name)); }                                        \
    void set##Name(const QByteArray& v) { setValue(QStringLiteral(#name), v); }
