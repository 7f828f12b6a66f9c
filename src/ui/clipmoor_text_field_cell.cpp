#include "ui/clipmoor_text_field_cell.h"

#include "ui/clipmoor_text_view.h"

namespace clipmoor {

ClipmoorTextFieldCell::ClipmoorTextFieldCell() = default;
ClipmoorTextFieldCell::~ClipmoorTextFieldCell() = default;

ClipmoorTextView* ClipmoorTextFieldCell::fieldEditorForView(QLineEdit* controlView) {
    if (!textView_) textView_ = std::make_unique<ClipmoorTextView>(controlView);
    textView_->setEditedField(controlView);
    return textView_.get();
}

}  // namespace clipmoor
