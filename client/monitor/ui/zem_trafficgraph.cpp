#include "zem_trafficgraph.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

#include <qcustomplot.h>

#include "zem_actions.h"
#include "zem_statspoll.h"

namespace {

constexpr qint64 kTenMinutesMs = 10 * 60 * 1000;
constexpr qint64 kHourMs = 60 * 60 * 1000;

} // namespace

TZEMTrafficGraph::TZEMTrafficGraph(ZEMStatsPoll &poll, QWidget *parent) : QWidget(parent), poll_(&poll)
{
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("TZEMTrafficGraph"));
    setWindowTitle(QStringLiteral("Traffic Graph"));
    setAccessibleName(QStringLiteral("Traffic Graph"));
    resize(640, 360);

    cbSpan = new QComboBox;
    cbSpan->setObjectName(QStringLiteral("cbSpan"));
    cbSpan->addItems({QStringLiteral("Last 10 minutes"), QStringLiteral("Last hour")});
    cbSpan->setAccessibleName(QStringLiteral("Show"));
    auto *spanLabel = new QLabel(QStringLiteral("&Show:"));
    spanLabel->setBuddy(cbSpan);

    actCopyCsv = ZEMMakeAction(this, "actCopyCsv", QStringLiteral("&Copy as CSV"),
                               QStringLiteral("Copy the samples shown as CSV"), QKeySequence::Copy);
    actCopyCsv->setShortcutContext(Qt::WindowShortcut);
    addAction(actCopyCsv);
    connect(actCopyCsv, &QAction::triggered, this, &TZEMTrafficGraph::CopyCsv);
    actCloseGraph = ZEMMakeAction(this, "actCloseGraph", QStringLiteral("Close"),
                                  QStringLiteral("Close the traffic graph"), QKeySequence(Qt::Key_Escape));
    actCloseGraph->setShortcutContext(Qt::WindowShortcut);
    addAction(actCloseGraph);
    connect(actCloseGraph, &QAction::triggered, this, &QWidget::close);

    bCopy = new QPushButton(QStringLiteral("&Copy as CSV"));
    bCopy->setObjectName(QStringLiteral("bCopy"));
    bCopy->setAccessibleName(QStringLiteral("Copy as CSV"));
    bCopy->setToolTip(actCopyCsv->toolTip());
    connect(bCopy, &QPushButton::clicked, actCopyCsv, &QAction::trigger);
    bClose = new QPushButton(QStringLiteral("Close"));
    bClose->setObjectName(QStringLiteral("bClose"));
    bClose->setAccessibleName(QStringLiteral("Close"));
    connect(bClose, &QPushButton::clicked, this, &QWidget::close);

    plot_ = new QCustomPlot;
    plot_->setObjectName(QStringLiteral("chTraffic"));
    plot_->setAccessibleName(QStringLiteral("Traffic graph"));
    plot_->setFocusPolicy(Qt::StrongFocus);
    plot_->setMinimumSize(320, 180);
    const struct {
        const char *name;
        QColor colour;
    } series[] = {{"Received", QColor(0, 128, 128)}, {"Sent", QColor(200, 90, 0)}};
    for (const auto &s : series) {
        QCPGraph *graph = plot_->addGraph();
        graph->setName(QString::fromLatin1(s.name));
        graph->setPen(QPen(s.colour, 2));
        graph->setAdaptiveSampling(true);
    }
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    plot_->xAxis->setTicker(ticker);
    plot_->legend->setVisible(true);
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);

    lStatus_ = new QLabel;
    lStatus_->setObjectName(QStringLiteral("lStatus"));
    lStatus_->setFrameShape(QFrame::StyledPanel);

    auto *top = new QHBoxLayout;
    top->addWidget(spanLabel);
    top->addWidget(cbSpan);
    top->addStretch(1);
    top->addWidget(bCopy);
    top->addWidget(bClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(plot_, 1);
    layout->addWidget(lStatus_);

    copy_ = [](const QString &text) { QGuiApplication::clipboard()->setText(text); };
    connect(cbSpan, &QComboBox::currentIndexChanged, this, &TZEMTrafficGraph::Redraw);
    connect(poll_, &ZEMStatsPoll::ValuesChanged, this, [this] {
        if (isVisible())
            Redraw();
    });
    connect(poll_, &ZEMStatsPoll::LookChanged, this, [this] {
        if (isVisible())
            Redraw();
    });
    Redraw();
}

TZEMTrafficGraph::~TZEMTrafficGraph() { HoldFastPoll(false); }

void TZEMTrafficGraph::SetSpan(Span span) { cbSpan->setCurrentIndex(span == Span::Hour ? 1 : 0); }

TZEMTrafficGraph::Span TZEMTrafficGraph::CurrentSpan() const
{
    return cbSpan->currentIndex() == 1 ? Span::Hour : Span::TenMinutes;
}

qint64 TZEMTrafficGraph::SpanMs() const { return CurrentSpan() == Span::Hour ? kHourMs : kTenMinutesMs; }

QString TZEMTrafficGraph::SpanName() const
{
    return CurrentSpan() == Span::Hour ? QStringLiteral("last hour") : QStringLiteral("last 10 minutes");
}

std::vector<ZEMRateSample> TZEMTrafficGraph::ShownSamples() const
{
    if (!poll_)
        return {};
    return poll_->RateHistory().Span(poll_->ActiveAlias(), poll_->MonotonicNow(), SpanMs());
}

QString TZEMTrafficGraph::StatusText() const { return lStatus_->text(); }

void TZEMTrafficGraph::Redraw()
{
    if (!poll_)
        return;
    const std::vector<ZEMRateSample> samples = ShownSamples();
    const ZEMRatePeak peak = PeakOf(samples);
    const ZEMRateUnit unit = RateAxisUnit(std::max(peak.received, peak.sent));

    QVector<double> x, received, sent;
    x.reserve(qsizetype(samples.size()) * 2);
    received.reserve(x.capacity());
    sent.reserve(x.capacity());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const ZEMRateSample &sample : samples) {
        const double at = double(sample.wallMs) / 1000.0;
        if (sample.breakBefore && !x.isEmpty()) {
            // The rates were unknown in between: no line across the gap.
            x << at - 0.001;
            received << nan;
            sent << nan;
        }
        x << at;
        received << sample.received / unit.divisor;
        sent << sample.sent / unit.divisor;
    }
    plot_->graph(0)->setData(x, received, true);
    plot_->graph(1)->setData(x, sent, true);

    // The time axis ends now, whether or not a sample just arrived.
    const double now = double(poll_->WallNow().toMSecsSinceEpoch()) / 1000.0;
    plot_->xAxis->setRange(now - double(SpanMs()) / 1000.0, now);
    const double top = std::max(peak.received, peak.sent) / unit.divisor;
    plot_->yAxis->setRange(0, top > 0 ? top * 1.1 : 1.0);
    plot_->yAxis->setLabel(unit.name);
    plot_->replot(QCustomPlot::rpQueuedReplot);

    const ZEMRates rates = poll_->Rates();
    lStatus_->setText(RateHintLine(rates));
    const QString description = GraphDescription(rates, peak, SpanName());
    setAccessibleDescription(description);
    plot_->setAccessibleDescription(description);
}

void TZEMTrafficGraph::CopyCsv()
{
    if (copy_)
        copy_(RatesCsv(ShownSamples()));
}

void TZEMTrafficGraph::HoldFastPoll(bool hold)
{
    if (hold == holding_)
        return;
    holding_ = hold;
    if (poll_)
        poll_->HoldFastPoll(hold);
}

void TZEMTrafficGraph::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    HoldFastPoll(true);
    Redraw();
}

void TZEMTrafficGraph::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    HoldFastPoll(false);
}
