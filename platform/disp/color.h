// An opaque colour of eight bits per channel.
#ifndef QEL_PLATFORM_DISP_COLOR_H
#define QEL_PLATFORM_DISP_COLOR_H

class krColor {
public:
    // Black.
    krColor() = default;
    krColor(unsigned char r, unsigned char g, unsigned char b) : r_(r), g_(g), b_(b) {}

    unsigned char r() const { return r_; }
    unsigned char g() const { return g_; }
    unsigned char b() const { return b_; }

    bool operator==(const krColor& o) const { return r_ == o.r_ && g_ == o.g_ && b_ == o.b_; }
    bool operator!=(const krColor& o) const { return !(*this == o); }

private:
    unsigned char r_ = 0;
    unsigned char g_ = 0;
    unsigned char b_ = 0;
};

#endif
