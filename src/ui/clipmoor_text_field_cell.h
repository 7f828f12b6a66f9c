#pragma once

#include <memory>

class QLineEdit;

namespace clipmoor {

class ClipmoorTextView;

// Gives the address field its own editor object: created the first time the field is edited
// and reused for every later editing, for as long as the cell lives.
class ClipmoorTextFieldCell {
public:
    ClipmoorTextFieldCell();
    ~ClipmoorTextFieldCell();
    ClipmoorTextFieldCell(const ClipmoorTextFieldCell&) = delete;
    ClipmoorTextFieldCell& operator=(const ClipmoorTextFieldCell&) = delete;

    // The cell's editor, created on the first call, editing `controlView`.
    ClipmoorTextView* fieldEditorForView(QLineEdit* controlView);
    // The editor, or null before the first editing.
    ClipmoorTextView* textView() const { return textView_.get(); }

private:
    std::unique_ptr<ClipmoorTextView> textView_;
};

}  // namespace clipmoor
