#pragma once

#include "model/agent_provider.h"

#include <QWidget>

namespace idlewyn {

// A provider's glyph and name in a capsule: the short name when compact
// ("Claude"), the display name otherwise ("Claude Code"); "Codex" either way.
// Typography::metaSmallStrong in Palette::providerBadge, on the same colour
// at Palette::Tint::fill, padded 8 across and 2 down.
class ProviderBadge : public QWidget {
    Q_OBJECT

public:
    ProviderBadge(AgentProvider provider, bool compact, QWidget* parent = nullptr);

    AgentProvider provider() const { return m_provider; }
    void setProvider(AgentProvider provider);
    bool isCompact() const { return m_compact; }
    void setCompact(bool compact);

    // The name shown.
    QString title() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void inputsChanged();

    AgentProvider m_provider;
    bool m_compact;
};

} // namespace idlewyn
