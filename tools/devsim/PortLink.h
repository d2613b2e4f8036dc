#pragma once

#include <QString>

namespace zorvan::devsim {

// The link ports/COMn in the settings folder ($XDG_CONFIG_HOME/Belmat/Quillmark, ~/.config when
// the variable is unset or empty) through which the host finds its port n. The simulator points
// it at its pseudo-terminal and removes it again when it ends, if it still points there.
class PortLink {
public:
    PortLink() = default;
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    static QString linkPath(int port);

    // Creates or replaces the link. A link left by an earlier simulator (to a pseudo-terminal or
    // to nothing) is replaced; a link to anything else belongs to the user and is kept: error.
    bool create(int port, const QString& target, QString* error);
    void remove();

    const QString& path() const { return m_path; }

private:
    QString m_path;
    QString m_target;
};

} // namespace zorvan::devsim
