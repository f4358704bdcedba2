#pragma once
// Shared by the library's handlers.

#include <string>

class QTreeWidgetItem;

// The Maps folder a file node lies in, kept on its parent node when the tree was filled (so a
// volume label holding ")" cannot mislead it).
std::string NodeFolder(const QTreeWidgetItem* fileNode);
// True for the nodes that stand for map definition files (the third level).
bool IsFileNode(const QTreeWidgetItem* node);
