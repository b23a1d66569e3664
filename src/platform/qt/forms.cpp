#include "platform/qt/forms.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QStringList>

namespace velunor::qt {

namespace {

size_t index_of(ControlId id) {
    return static_cast<size_t>(id);
}

// The faces the forms name are those of the platform the panel was drawn for; each is followed
// by a CJK face that looks alike, for platforms that lack it. A face that is not installed is
// left out: Qt would otherwise run a fontconfig fallback search for the missing name every time
// a font naming it is first used, only to end on the face that follows it. Sizes are character
// heights in pixels.
class FormFaces {
  public:
    FormFaces() {
        for (const QString& family : QFontDatabase::families()) {
            // A family that several foundries provide is listed as "Family [Foundry]".
            installed_.insert(family.section(QStringLiteral(" ["), 0, 0));
        }
    }

    QFont font(const QString& named, const QString& substitute, int pixels, bool bold) const {
        QFont font;
        font.setFamilies(installed_.contains(named) ? QStringList{named, substitute}
                                                    : QStringList{substitute});
        font.setPixelSize(pixels);
        font.setBold(bold);
        return font;
    }

    QFont song(int pixels, bool bold) const {
        return font(QStringLiteral("新宋体"), QStringLiteral("Noto Serif CJK SC"), pixels, bold);
    }
    QFont yahei(int pixels) const {
        return font(QStringLiteral("微软雅黑"), QStringLiteral("Noto Sans CJK SC"), pixels, false);
    }
    QFont heavy_song(int pixels) const {
        return font(QStringLiteral("方正粗黑宋简体"), QStringLiteral("Noto Serif CJK SC"), pixels,
                    true);
    }
    // A face whose space is half as wide as a CJK character, so that the unit words of the time
    // boxes fall between the boxes.
    QFont unit_words() const {
        return font(QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Noto Sans CJK SC"), 12,
                    false);
    }

  private:
    QSet<QString> installed_;
};

// The platform's default interface font for the tabs' Chinese texts. Where that face has no
// Chinese, the panel's CJK sans face draws them, named as the next family; Qt is told not to
// merge in faces of its own choosing, which spares a fontconfig fallback search and a face that
// fontconfig may rank first though it draws the characters' Japanese forms.
QFont interface_font() {
    QFont font;
    QStringList families = font.families();
    if (families.isEmpty()) {
        families.append(font.family());
    }
    families.append(QStringLiteral("Noto Sans CJK SC"));
    font.setFamilies(families);
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

// The panel's texts (digits, Chinese, the user's item names) are drawn glyph by glyph, without
// kerning or ligatures, as on the platform the panel was drawn for. Qt then shapes only the
// text that needs it (complex scripts), which also spares loading each face's layout tables.
QFont unshaped(QFont font) {
    font.setStyleStrategy(
        static_cast<QFont::StyleStrategy>(font.styleStrategy() | QFont::PreferNoShaping));
    return font;
}

template <typename W>
W* enter(ControlWidgets& widgets, ControlId id, W* widget, const QRect& geometry) {
    widget->setGeometry(geometry);
    widget->setProperty(kControlProperty, static_cast<int>(id));
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
        area->viewport()->setProperty(kControlProperty, static_cast<int>(id));
    }
    widgets[index_of(id)] = widget;
    return widget;
}

// A label that draws only its text, in one line.
QLabel* text_label(QWidget* parent, ControlId id, const QFont& font, Qt::Alignment alignment) {
    auto* label = new QLabel(to_display_text(form_text(id)), parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setAlignment(alignment);
    label->setWordWrap(false);
    return label;
}

void set_text_colour(QWidget* widget, Rgb colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, to_qcolor(colour));
    palette.setColor(QPalette::Text, to_qcolor(colour));
    widget->setPalette(palette);
}

}  // namespace

std::string form_text(ControlId id) {
    switch (id) {
        case ControlId::透明标签_time:
        case ControlId::透明标签_日期:
        case ControlId::透明标签_差大值:
            return "透明标签";
        case ControlId::透明标签_停止:
            return "停止";
        case ControlId::标签_当前目标:
            return "当前目标";
        case ControlId::标签_完成记录:
            return "已完成记录";
        case ControlId::分组框_增改:
            return "新增/修改";
        case ControlId::透明标签1:
            return "项目名：\r\n\r\n到期时间：\r\n\r\n\r\n备注：";
        case ControlId::透明标签2:
            return "时     分     秒";
        case ControlId::编辑框_时:
        case ControlId::编辑框_分:
        case ControlId::编辑框_秒:
            return "00";
        case ControlId::按钮_增改_返回:
            return "返回";
        case ControlId::按钮_增改_确认:
            return "确 认";
        case ControlId::分组框_说明:
            return "说 明";
        case ControlId::标签_说明:
            return "标签";
        case ControlId::按钮_说明_退出:
            return "退 出";
        default:
            return {};
    }
}

TopWindow* build_main_window(WidgetEvents& events, ControlWidgets& widgets) {
    auto* window = new TopWindow(WindowId::main, events);
    window->resize(kMainFormWidth, kMainFormHeight);
    const FormFaces faces;

    constexpr Qt::Alignment kCentred = Qt::AlignCenter;
    constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;
    constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;

    // Created bottom first: the time label lies under the others.
    enter(widgets, ControlId::透明标签_time,
          text_label(window, ControlId::透明标签_time, unshaped(faces.song(56, true)), kCentred),
          {0, 0, 300, 112});
    enter(widgets, ControlId::透明标签_日期,
          text_label(window, ControlId::透明标签_日期, unshaped(faces.yahei(14)), kRight),
          {144, 80, 152, 32});
    enter(widgets, ControlId::透明标签_差大值,
          text_label(window, ControlId::透明标签_差大值, unshaped(faces.song(14, false)), kLeft),
          {16, 8, 144, 24});
    enter(widgets, ControlId::透明标签_停止,
          text_label(window, ControlId::透明标签_停止, unshaped(faces.song(14, false)), kCentred),
          {264, 8, 24, 24});
    for (const auto& [id, geometry] :
         {std::pair{ControlId::标签_当前目标, QRect(8, 88, 50, 16)},
          std::pair{ControlId::标签_完成记录, QRect(64, 88, 65, 16)}}) {
        auto* tab = new GradientLabel(window);
        tab->setText(to_display_text(form_text(id)));
        tab->setTextFormat(Qt::PlainText);
        tab->setAlignment(kCentred);
        tab->setFrameShape(QFrame::NoFrame);
        tab->setFont(unshaped(interface_font()));
        enter(widgets, id, tab, geometry);
    }
    auto* list = new ListBox(window, events);
    list->setFont(unshaped(faces.heavy_song(29)));
    enter(widgets, ControlId::列表框_记录, list, {0, 112, 300, 128});

    for (ControlId id :
         {ControlId::透明标签_time, ControlId::透明标签_日期, ControlId::透明标签_差大值,
          ControlId::透明标签_停止, ControlId::标签_当前目标, ControlId::标签_完成记录,
          ControlId::列表框_记录}) {
        set_text_colour(widgets[index_of(id)], kWhite);
    }
    return window;
}

TopWindow* build_edit_window(WidgetEvents& events, ControlWidgets& widgets) {
    auto* window = new TopWindow(WindowId::edit, events);
    window->resize(kEditFormWidth, kEditFormHeight);
    const FormFaces faces;

    auto* edit_group = enter(widgets, ControlId::分组框_增改,
                             new QGroupBox(to_qstring(form_text(ControlId::分组框_增改)), window),
                             {5, 5, 211, 299});
    auto* captions =
        text_label(edit_group, ControlId::透明标签1, faces.yahei(14), Qt::AlignLeft | Qt::AlignTop);
    enter(widgets, ControlId::透明标签1, captions, {11, 19, 72, 136});
    enter(widgets, ControlId::编辑框_项目名, new QLineEdit(edit_group), {67, 19, 136, 24});
    enter(widgets, ControlId::日期框_到期时间, new DateBox(edit_group), {83, 59, 120, 24});
    enter(widgets, ControlId::透明标签2,
          text_label(edit_group, ControlId::透明标签2, faces.unit_words(),
                     Qt::AlignRight | Qt::AlignVCenter),
          {75, 91, 128, 16});
    // The time boxes lie over the unit words.
    for (const auto& [id, left] :
         {std::pair{ControlId::编辑框_时, 80}, std::pair{ControlId::编辑框_分, 123},
          std::pair{ControlId::编辑框_秒, 163}}) {
        auto* box = new ShortIntBox(edit_group);
        box->setText(to_qstring(form_text(id)));
        enter(widgets, id, box, {left, 91, 24, 16});
    }
    enter(widgets, ControlId::编辑框_备注, new NoteBox(edit_group), {59, 115, 144, 136});
    enter(widgets, ControlId::按钮_增改_返回,
          new QPushButton(to_qstring(form_text(ControlId::按钮_增改_返回)), edit_group),
          {7, 259, 88, 32});
    enter(widgets, ControlId::按钮_增改_确认,
          new QPushButton(to_qstring(form_text(ControlId::按钮_增改_确认)), edit_group),
          {99, 259, 104, 32});

    auto* help_group = enter(widgets, ControlId::分组框_说明,
                             new QGroupBox(to_qstring(form_text(ControlId::分组框_说明)), window),
                             {224, 8, 200, 200});
    auto* help =
        text_label(help_group, ControlId::标签_说明, QFont(), Qt::AlignLeft | Qt::AlignTop);
    help->setWordWrap(true);
    enter(widgets, ControlId::标签_说明, help, {16, 24, 168, 136});
    enter(widgets, ControlId::按钮_说明_退出,
          new QPushButton(to_qstring(form_text(ControlId::按钮_说明_退出)), help_group),
          {40, 168, 120, 24});
    return window;
}

}  // namespace velunor::qt
