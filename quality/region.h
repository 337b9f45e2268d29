#pragma once

namespace quality {

// An axis-aligned rectangle of pixels of an image_width x image_height image:
// columns x .. x + width - 1, rows y .. y + height - 1. It remembers the
// image size it was drawn on, so it can follow resolution changes and flips.
struct region {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int image_width = 0;
  int image_height = 0;

  bool empty() const { return width <= 0 || height <= 0; }
  int pixels() const { return empty() ? 0 : width * height; }
  // Centre in pixel coordinates (pixel centres at integers), e.g. 1.5 for
  // the pixels 1 and 2.
  double centre_x() const { return x + (width - 1) / 2.0; }
  double centre_y() const { return y + (height - 1) / 2.0; }
  bool operator==(const region& o) const {
    return x == o.x && y == o.y && width == o.width && height == o.height &&
           image_width == o.image_width && image_height == o.image_height;
  }
  bool operator!=(const region& o) const { return !(*this == o); }
};

// The rectangle spanned by two corner pixels (either order, both included),
// clipped to the image. Empty when the image is empty.
region region_from_corners(int x0, int y0, int x1, int y1, int image_width, int image_height);

// The part of `r` inside its image (empty if none).
region clipped(const region& r);

// `r` carried over to an image of new_width x new_height: the edges scale
// with the image and round to the nearest pixel edge; at least one pixel is
// kept. The result covers the same part of the scene when the new image is
// the same view at another resolution (binning).
region scaled(const region& r, int new_width, int new_height);

// `r` mirrored within its image: `horizontal` left to right, `vertical` top
// to bottom, as the image itself is mirrored by a flip.
region mirrored(const region& r, bool vertical, bool horizontal);

}  // namespace quality
