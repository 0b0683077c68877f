#pragma once

#include <QByteArray>
#include <QString>

/// A net of `chains` places marked, each feeding a transition into a place that names an output:
/// about 120 bytes a chain, its log and program together about twice as large. Large enough,
/// at tens of thousands of chains, to be read and written in many blocks.
inline QByteArray chainNet(int chains)
{
    QByteArray net;
    for (int i = 0; i < chains; ++i)
        net += QStringLiteral("p 0 0 P%1 1 n\np 0 0 Q%1 0 n [Lampe%1] e\nt 0 0 T%1 c 0 w n "
                              "[start;] w\ne P%1 T%1 1 n\ne T%1 Q%1 1 n\n")
                   .arg(i)
                   .toLatin1();
    return net + "h reseau\n";
}
