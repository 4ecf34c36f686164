#include "support/resize.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace vidrake {
namespace {

using enum ResizeNumber;

// Below this size a font is shown in the face drawn for small sizes.
constexpr float kSmallFontPoints = 7;

QString smallFonts() {
    return QStringLiteral("Small Fonts");
}

// A result of finite operands that left the range of a float is an overflow.
std::optional<float> checked(float result, float a, float b) {
    if (std::isinf(result) && !std::isinf(a) && !std::isinf(b)) {
        return std::nullopt;
    }
    return result;
}

std::optional<float> times(float a, float b) {
    return checked(a * b, a, b);
}
std::optional<float> plus(float a, float b) {
    return checked(a + b, a, b);
}
std::optional<float> minus(float a, float b) {
    return checked(a - b, a, b);
}

// What one ResizeControls pass works with. The font size being worked out lives for the whole
// pass, so a step that fails to set it leaves the one before.
struct Pass {
    float xs = 0;
    float ys = 0;
    float ceiling = 0;
    float floor = 0;
    float size = 0;
};

ResizeError ratio(std::optional<float> now, float saved, float& into) {
    if (!now) {
        return ResizeError::Window;
    }
    if (saved == 0) {
        return ResizeError::Division;
    }
    const auto quotient = checked(*now / saved, *now, saved);
    if (!quotient) {
        return ResizeError::Overflow;
    }
    into = *quotient;
    return ResizeError::None;
}

// Lines are handled unguarded: any failure ends the call. into = end - start, or end alone,
// as the layer holds them now.
ResizeError recordLinePoint(const ResizeControl& c, ResizeNumber end,
                            std::optional<ResizeNumber> start, float& into) {
    const auto to = c.number(end);
    const auto from = start ? c.number(*start) : std::optional<float>(0);
    if (!to || !from) {
        return ResizeError::Control;
    }
    const auto value = minus(*to, *from);
    if (!value) {
        return ResizeError::Overflow;
    }
    into = *value;
    return ResizeError::None;
}

ResizeError recordLine(const ResizeControl& c, ControlLayout& r) {
    auto e = recordLinePoint(c, X1, std::nullopt, r.left);
    if (e == ResizeError::None) {
        e = recordLinePoint(c, Y1, std::nullopt, r.top);
    }
    if (e == ResizeError::None) {
        e = recordLinePoint(c, X2, X1, r.width);
    }
    if (e == ResizeError::None) {
        e = recordLinePoint(c, Y2, Y1, r.height);
    }
    return e;
}

// Each read stands alone: a property the control lacks leaves its field empty.
void recordControl(const ResizeControl& c, ControlLayout& r) {
    const auto keep = [&c](ResizeNumber property, float& into) {
        if (const auto value = c.number(property)) {
            into = *value;
        }
    };
    const auto keepText = [&c](ResizeText property, QString& into) {
        if (auto value = c.text(property)) {
            into = std::move(*value);
        }
    };
    keep(Left, r.left);
    keep(Top, r.top);
    keep(Width, r.width);
    keep(Height, r.height);
    keep(FontSize, r.fontSize);
    keepText(ResizeText::FontName, r.fontName);
    keepText(ResizeText::HeadFontName, r.headFontName);
    keep(HeadFontSize, r.headFontSize);
}

// target = start + factor * recorded, or the product alone; the start is read back after it
// was written, so the far end follows wherever the layer's rounding put the near one.
ResizeError placeLinePoint(ResizeControl& c, ResizeNumber target, std::optional<ResizeNumber> start,
                           float factor, float recorded) {
    const auto from = start ? c.number(*start) : std::optional<float>(0);
    if (!from) {
        return ResizeError::Control;
    }
    const auto offset = times(factor, recorded);
    const auto value = offset && start ? plus(*from, *offset) : offset;
    if (!value) {
        return ResizeError::Overflow;
    }
    return c.setNumber(target, *value) ? ResizeError::None : ResizeError::Control;
}

ResizeError placeLine(ResizeControl& c, const ControlLayout& r, const Pass& pass) {
    auto e = placeLinePoint(c, X1, std::nullopt, pass.xs, r.left);
    if (e == ResizeError::None) {
        e = placeLinePoint(c, Y1, std::nullopt, pass.ys, r.top);
    }
    if (e == ResizeError::None) {
        e = placeLinePoint(c, X2, X1, pass.xs, r.width);
    }
    if (e == ResizeError::None) {
        e = placeLinePoint(c, Y2, Y1, pass.ys, r.height);
    }
    return e;
}

// The steps below are guarded: each that fails is dropped and the next one runs.
void setScaled(ResizeControl& c, ResizeNumber property, float factor, float recorded) {
    if (const auto value = times(factor, recorded)) {
        c.setNumber(property, *value);
    }
}

void fitFont(ResizeControl& c, ResizeNumber sizeProperty, ResizeText faceProperty,
             float recordedSize, const QString& recordedFace, Pass& pass) {
    if (const auto scaled = times(pass.ys, recordedSize)) {
        pass.size = *scaled;
    }
    // The floor is applied last, so it wins when set above the ceiling.
    if (const auto most = times(pass.ceiling, recordedSize); most && *most < pass.size) {
        pass.size = *most;
    }
    if (const auto least = times(pass.floor, recordedSize); least && *least > pass.size) {
        pass.size = *least;
    }
    // The face goes before the size, so the size lands on the face that will show it.
    if (const auto face = c.text(faceProperty)) {
        if (pass.size < kSmallFontPoints && *face != smallFonts()) {
            c.setText(faceProperty, smallFonts());
        } else if (pass.size >= kSmallFontPoints && *face == smallFonts()) {
            c.setText(faceProperty, recordedFace);
        }
    }
    c.setNumber(sizeProperty, pass.size);
}

void fitControl(ResizeControl& c, const ControlLayout& r, Pass& pass) {
    setScaled(c, Left, pass.xs, r.left);
    setScaled(c, Top, pass.ys, r.top);
    setScaled(c, Width, pass.xs, r.width);
    // A combo box's height follows its font.
    if (!c.isComboBox()) {
        setScaled(c, Height, pass.ys, r.height);
    }
    fitFont(c, FontSize, ResizeText::FontName, r.fontSize, r.fontName, pass);
    // No failure above can hide a HeadFont: each step stood alone.
    if (c.number(HeadFontSize)) {
        fitFont(c, HeadFontSize, ResizeText::HeadFontName, r.headFontSize, r.headFontName, pass);
    }
}

}  // namespace

ResizeError resize::SaveSizes(ResizeWindow& frm) {
    const auto count = frm.controlCount();
    if (!count) {
        return ResizeError::Window;
    }
    m_layouts.assign(static_cast<std::size_t>(std::max(*count, 0)), ControlLayout{});
    int position = 1;
    for (int i = 0; i < *count; ++i) {
        const ResizeControl* c = frm.control(i);
        if (!c) {
            return ResizeError::Window;
        }
        // A timer takes no slot, which leaves the last ones empty.
        if (c->isTimer()) {
            continue;
        }
        ControlLayout& r = m_layouts[static_cast<std::size_t>(position - 1)];
        r.name = c->name();
        r.typeName = c->typeName();
        if (!c->isLine()) {
            recordControl(*c, r);
        } else if (const auto e = recordLine(*c, r); e != ResizeError::None) {
            return e;
        }
        if (position > kMaxControls) {
            return ResizeError::Overflow;
        }
        ++position;
    }
    const auto width = frm.scaleWidth();
    if (!width) {
        return ResizeError::Window;
    }
    m_savedScaleWidth = *width;
    const auto height = frm.scaleHeight();
    if (!height) {
        return ResizeError::Window;
    }
    m_savedScaleHeight = *height;
    return ResizeError::None;
}

ResizeError resize::ResizeControls(ResizeWindow& frm) const {
    Pass pass;
    pass.ceiling = static_cast<float>(1.0 + static_cast<double>(m_maxGrowthPercent) / 100.0);
    pass.floor = static_cast<float>(1.0 - static_cast<double>(m_minGrowthPercent) / 100.0);
    const auto state = frm.windowState();
    if (!state) {
        return ResizeError::Window;
    }
    if (*state == kWindowMinimized) {
        return ResizeError::None;
    }
    if (const auto e = ratio(frm.scaleWidth(), m_savedScaleWidth, pass.xs);
        e != ResizeError::None) {
        return e;
    }
    if (const auto e = ratio(frm.scaleHeight(), m_savedScaleHeight, pass.ys);
        e != ResizeError::None) {
        return e;
    }
    const auto count = frm.controlCount();
    if (!count) {
        return ResizeError::Window;
    }
    int position = 1;
    for (int i = 0; i < *count; ++i) {
        ResizeControl* c = frm.control(i);
        if (!c) {
            return ResizeError::Window;
        }
        if (c->isTimer()) {
            continue;
        }
        if (position > static_cast<int>(m_layouts.size())) {
            return ResizeError::OutOfRange;
        }
        const ControlLayout& r = m_layouts[static_cast<std::size_t>(position - 1)];
        // The status bar lays itself out along the window's edge.
        if (r.typeName != QLatin1String("StatusBar")) {
            if (!c->isLine()) {
                fitControl(*c, r, pass);
            } else if (const auto e = placeLine(*c, r, pass); e != ResizeError::None) {
                return e;
            }
        }
        if (position > kMaxControls) {
            return ResizeError::Overflow;
        }
        ++position;
    }
    return ResizeError::None;
}

}  // namespace vidrake
