#pragma once

class QTreeWidget;
class ZEMPaceMonitor;

// Appends the three pace rows to the statistics list and keeps their values up to date. The rows are
// kept by item, not by position: other rows may be put between them and the top.
void AttachPaceRows(ZEMPaceMonitor &monitor, QTreeWidget *list);
