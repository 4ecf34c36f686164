// Keeps the controls of a window, and the sizes of their fonts, in proportion to the window's
// inner size. It sees the window only through the two small interfaces below: the main window
// binds them to its widgets, the tests to fakes.
#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace vidrake {

// A line has only the four end points; other controls may have any of the rest.
enum class ResizeNumber { X1, Y1, X2, Y2, Left, Top, Width, Height, FontSize, HeadFontSize };
enum class ResizeText { FontName, HeadFontName };

class ResizeControl {
public:
    virtual ~ResizeControl() = default;
    virtual QString name() const = 0;
    // The class name, such as "StatusBar".
    virtual QString typeName() const = 0;
    virtual bool isTimer() const = 0;
    virtual bool isLine() const = 0;
    virtual bool isComboBox() const = 0;
    // nullopt or false when the control lacks the property or the layer refuses the access.
    // A written value may be rounded to the layer's own units; reading it back shows how.
    virtual std::optional<float> number(ResizeNumber property) const = 0;
    virtual bool setNumber(ResizeNumber property, float value) = 0;
    virtual std::optional<QString> text(ResizeText property) const = 0;
    virtual bool setText(ResizeText property, const QString& value) = 0;
};

inline constexpr int kWindowNormal = 0;
inline constexpr int kWindowMinimized = 1;
inline constexpr int kWindowMaximized = 2;

// Every query returns nullopt (control() nullptr) when the layer cannot answer it.
class ResizeWindow {
public:
    virtual ~ResizeWindow() = default;
    // All controls, menu entries, timers and hidden ones included, always in the same order.
    virtual std::optional<int> controlCount() const = 0;
    // The control at 0..controlCount()-1.
    virtual ResizeControl* control(int index) = 0;
    // The inner size.
    virtual std::optional<float> scaleWidth() const = 0;
    virtual std::optional<float> scaleHeight() const = 0;
    virtual std::optional<int> windowState() const = 0;
};

// What stopped SaveSizes or ResizeControls; the controls handled before it stay changed.
enum class ResizeError {
    None,
    Window,      // the window's control list or one of its own properties failed
    Control,     // a line's end point could not be read or written
    OutOfRange,  // the window has more non-timer controls than when the sizes were saved
    Division,    // no sizes saved yet, or saved while the inner area was empty
    Overflow,    // a result beyond the range of a float, or more controls than positions
};

// The design layout of one control. A field whose property the control lacks stays empty.
struct ControlLayout {
    QString name;
    QString typeName;
    float left = 0;    // a line: X1
    float top = 0;     // a line: Y1
    float width = 0;   // a line: X2 - X1, may be negative
    float height = 0;  // a line: Y2 - Y1
    float fontSize = 0;
    QString fontName;
    float headFontSize = 0;
    QString headFontName;
};

class resize final {
public:
    // Controls other than timers that the window may have: positions, from 1, are counted in a
    // 16-bit signed number that must reach one past the last.
    static constexpr int kMaxControls = 32766;

    // How far a font may grow above, and shrink below, its recorded size, in percent. Any value
    // is taken; it holds from the next ResizeControls.
    void MaxFontGrowthPercent(float percent) { m_maxGrowthPercent = percent; }
    void MinFontGrowthPercent(float percent) { m_minGrowthPercent = percent; }

    // Records the layout of every control but the timers, matched to the controls by position,
    // and the inner size, in place of anything recorded before.
    [[nodiscard]] ResizeError SaveSizes(ResizeWindow& frm);
    // Lays every control out again for the current inner size, from the recorded layout. Does
    // nothing while the window is minimized.
    [[nodiscard]] ResizeError ResizeControls(ResizeWindow& frm) const;

    // One slot per control counted at SaveSizes; the last ones, one per timer, stay empty.
    const std::vector<ControlLayout>& controlLayouts() const { return m_layouts; }

private:
    float m_maxGrowthPercent = 25;
    float m_minGrowthPercent = 40;
    std::vector<ControlLayout> m_layouts;
    float m_savedScaleWidth = 0;
    float m_savedScaleHeight = 0;
};

}  // namespace vidrake
