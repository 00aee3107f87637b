// The dark style of the program's form windows (options, tag editor, associations): framed
// groups with green captions, option buttons, check boxes, text boxes and lists.
#pragma once

#include <QString>

namespace kelvra::widgets {

inline const QString kFormStyle = QStringLiteral(R"(
QGroupBox { color: #00ff00; font: bold 12px "DejaVu Sans"; border: 1px solid #3d4752;
            border-radius: 6px; margin-top: 10px; padding: 12px 8px 8px 8px; }
QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }
QGroupBox QLabel { color: #c8d0d8; font: bold 12px "DejaVu Sans"; }
QRadioButton { color: #e8ecf0; font: 13px "DejaVu Sans"; spacing: 8px; }
QRadioButton::indicator { width: 14px; height: 14px; border-radius: 8px;
                          border: 1px solid #5a6572; background: #0e1114; }
QRadioButton::indicator:checked { background: #00ff00; border: 1px solid #008000; }
QComboBox, QLineEdit { color: #e8ecf0; background: #0e1114; border: 1px solid #3d4752;
                       border-radius: 4px; padding: 4px 6px; font: 13px "DejaVu Sans";
                       selection-background-color: #008000; }
QComboBox QAbstractItemView { color: #e8ecf0; background: #1c2127;
                              selection-background-color: #008000; }
QCheckBox { color: #e8ecf0; font: 13px "DejaVu Sans"; spacing: 8px; }
QCheckBox::indicator { width: 14px; height: 14px; border: 1px solid #5a6572; background: #0e1114; }
QCheckBox::indicator:checked { background: #00ff00; border: 1px solid #008000; }
QRadioButton:disabled, QCheckBox:disabled { color: #5a6572; }
)");

}  // namespace kelvra::widgets
