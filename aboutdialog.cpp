// Placeholder until the about box is built.
#include "aboutdialog.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui(nullptr) {}
AboutDialog::~AboutDialog() = default;
