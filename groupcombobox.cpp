// Placeholder until the watch-list rows are built.
#include "groupcombobox.h"

GroupComboBox::GroupComboBox(int id, int, int, QWidget* parent) : QComboBox(parent), itemId(id) {}
void GroupComboBox::groupIndexChanged(int) {}
