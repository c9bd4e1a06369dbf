// Placeholder until the update notice is built.
#include "updatedialog.h"

UpdateDialog::UpdateDialog(QWidget* parent) : QDialog(parent), ui(nullptr) {}
UpdateDialog::~UpdateDialog() = default;
