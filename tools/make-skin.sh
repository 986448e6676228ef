#!/usr/bin/env bash
# Draws the sample product's skin with ImageMagick: every image the layout names, as strips of
# equal frames (button: normal, hover, pressed, disabled; check box: off, off disabled, off
# hover, on, on disabled, on hover; text box: normal, hover or focus, disabled), and the icon.
# The uninstaller's pages get images of their own, without the product's name (the layout's
# labels carry it). Every image is drawn twice from the same figures: at 100 % as <number>.png
# and at 200 % as <number>@2x.png, twice the size with every line, curve and glyph drawn at that
# resolution. Restyle by changing the palette, fonts and texts below and running it again:
#   tools/make-skin.sh [skin folder] [icon file] [uninstaller's skin folder]
# With --starter it draws the starter product's neutral skin instead (kit/starter/skin and
# uninstall/skin): no words (its layouts lay each language's words over the images), no name
# and no mark of any product.
#   tools/make-skin.sh --starter [starter folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" = --starter ]; then
  starter=${2:-$(dirname "$here")/kit/starter}
  # No icon: the starter has none.
  skin=starter_skin out=$starter/skin icon= uninstall_out=$starter/uninstall/skin
else
  skin=sample_skin
  out=${1:-$(dirname "$here")/resources/skin}
  icon=${2:-$(dirname "$here")/resources/icon.ico}
  uninstall_out=${3:-$(dirname "$here")/resources/uninstall/skin}
fi
mkdir -p "$out" "$uninstall_out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

font_file() {
  local file
  file=$(fc-list ":family=$1:style=$2" file | head -n 1 | sed 's/: *$//')
  [ -n "$file" ] || { echo "font missing: $1 $2" >&2; exit 1; }
  echo "$file"
}
CJK=$(font_file "WenQuanYi Zen Hei" Regular)
LATIN_BOLD=$(font_file "Liberation Sans" Bold)

PRODUCT=Corvane
TAGLINE="轻快 · 安全 · 高效的桌面助手"

# Palette.
BLUE='#2f7bf6'          # primary actions and checked boxes
BLUE_HOVER='#4d90ff'
BLUE_PRESS='#1d5fd4'
HERO_A='#3d7cff'        # gradients of the large coloured areas
HERO_B='#7a5cf5'
TEAL_A='#14b8a6'
TEAL_B='#2f7bf6'
INK='#2b3442'           # dark text drawn into images
MUTED='#8a93a3'         # secondary glyphs
LINE='#c9d0db'          # control borders
TRACK='#e7ebf1'         # empty progress track
DISABLED='#c5cdd9'
FRAME='rgba(25,45,90,0.16)'   # window outline, visible on white and on colour

RADIUS=10               # window corners

# The scale the images are drawn at: 1 for <number>.png, 2 for <number>@2x.png. The figures
# below are pixels at 100 %; these turn them into pixels of the image being drawn.
S=1
# A length (size, offset, radius, stroke or blur width, point size) at the scale.
px() { awk -v v="$1" -v s="$S" 'BEGIN { printf "%g", v * s }'; }
# Every number of a size or offset ("600x430", "+268+30", "0x2.2") at the scale.
sl() { S=$S perl -pe 's/(\d+(?:\.\d+)?)/$1 * $ENV{S}/ge' <<<"$1"; }
# A draw primitive at the scale. A figure that lies between two pixels (at .5: the middle of a
# one-pixel outline) keeps its place in the larger image: x becomes x * S + (S - 1) / 2. Whole
# figures grow from the image's top left corner (x * S), and the far corner of a rectangle, whose
# corner pixels are filled whole, becomes the last of the pixels it grows into. A round
# rectangle's corner radii are lengths.
sd() {
  S=$S perl -e '
    my ($s, $text) = ($ENV{S}, $ARGV[0]);
    my @parts = split /(-?\d+(?:\.\d+)?)/, $text;  # the numbers are the odd parts
    my @roles = $text =~ /rectangle\b/ ? qw(first first last last) : ();
    push @roles, qw(length length) if $text =~ /\broundrectangle\b/;
    my %at = (first => sub { $_[0] * $s }, last => sub { $_[0] * $s + $s - 1 },
              between => sub { $_[0] * $s + ($s - 1) / 2 });
    for (my $i = 1; $i < @parts; $i += 2) {
      my $role = shift(@roles) // "first";
      $role = "between" if $role ne "length" && $parts[$i] =~ /\.5$/;
      $role = "first" if $role eq "length";
      $parts[$i] = sprintf("%.4f", $at{$role}->($parts[$i])) + 0;
    }
    print join("", @parts);' "$1"
}

# Cuts the window shape out of $1 (in place) and draws its outline, in the image's own pixels:
# the shape covers them all, the outline is one pixel at 100 % wide along the edge.
finish_window() {
  local file=$1 w h
  read -r w h < <(identify -format '%w %h\n' "$file")
  local radius inset far_x far_y
  radius=$(px "$RADIUS")
  inset=$(awk -v s="$S" 'BEGIN { printf "%g", s / 2 }')
  far_x=$(awk -v v="$w" -v s="$S" 'BEGIN { printf "%g", v - 1 - s / 2 }')
  far_y=$(awk -v v="$h" -v s="$S" 'BEGIN { printf "%g", v - 1 - s / 2 }')
  convert "$file" \
    \( -size "${w}x${h}" xc:none -fill white \
       -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $radius,$radius" \) \
    -compose DstIn -composite -compose Over \
    -fill none -stroke "$FRAME" -strokewidth "$(px 1)" \
    -draw "roundrectangle $inset,$inset $far_x,$far_y $radius,$radius" \
    "PNG32:$file"
}

# A gradient of $1 x $2 from $3 to $4 at angle $5, clipped to the shape drawn by $6 (draw
# primitive in white); written to $7.
shaped_gradient() {
  convert -size "$(sl "${1}x${2}")" -define gradient:angle="$5" "gradient:$3-$4" \
    \( -size "$(sl "${1}x${2}")" xc:black -fill white -draw "$(sd "$6")" \) \
    -alpha off -compose CopyOpacity -composite "PNG32:$7"
}

# The product mark: a rounded square in the hero colours with an arrow into a tray; $1 size
# at 100 %, $2 file. Below 40 pixels the strokes are heavier so that the mark stays readable.
# It is drawn on a canvas of its own and scaled down to its size at the scale.
logo() {
  local shaft="roundrectangle 112,46 144,138 10,10" head="polygon 74,116 182,116 128,172" tray=22
  if [ "$1" -lt 40 ]; then
    shaft="roundrectangle 104,36 152,130 12,12" head="polygon 60,108 196,108 128,176" tray=36
  fi
  convert -size 256x256 -define gradient:angle=135 "gradient:$HERO_A-$HERO_B" \
    \( -size 256x256 xc:black -fill white -draw "roundrectangle 8,8 247,247 56,56" \) \
    -alpha off -compose CopyOpacity -composite -compose Over \
    -fill white -stroke none -draw "$shaft" -draw "$head" \
    -fill none -stroke white -strokewidth "$tray" \
    -draw "stroke-linecap round stroke-linejoin round polyline 58,150 58,200 198,200 198,150" \
    -resize "$(sl "${1}x${1}")" "PNG32:$2"
}

# ---- buttons -------------------------------------------------------------------------------

# A pill button frame: $1 w, $2 h, $3 fill top, $4 fill bottom, $5 text colour, $6 text,
# $7 text size, $8 shadow (yes/no), $9 pressed offset, ${10} border colour or none, ${11} file.
pill_frame() {
  local w=$1 h=$2 top=$3 bottom=$4 ink=$5 label=$6 size=$7 shadow=$8 dy=$9 border=${10} file=${11}
  local r=$(((h - 6) / 2)) y0=$((1 + dy)) y1=$((h - 6 + dy))
  local shape="roundrectangle 2,$y0 $((w - 3)),$y1 $r,$r"
  shaped_gradient "$w" "$h" "$top" "$bottom" 180 "$shape" "$work/face.png"
  local layers=(-size "$(sl "${w}x${h}")" xc:none)
  if [ "$shadow" = yes ]; then
    layers+=(\( -size "$(sl "${w}x${h}")" xc:none -fill "rgba(47,123,246,0.35)"
             -draw "$(sd "roundrectangle 6,5 $((w - 7)),$((h - 3)) $r,$r")" -blur "$(sl 0x2.2)" \) -composite)
  fi
  layers+=("$work/face.png" -composite)
  if [ "$border" != none ]; then
    layers+=(-fill none -stroke "$border" -strokewidth "$(px 1)"
             -draw "$(sd "roundrectangle 2.5,$y0.5 $((w - 4)).5,$((y1 - 1)).5 $r,$r")")
  fi
  convert "${layers[@]}" -font "$CJK" -pointsize "$(px "$size")" -fill "$ink" -stroke "$ink" \
    -strokewidth "$(px 0.4)" -gravity center -annotate "$(sl "+0+$((dy - 2))")" "$label" \
    "PNG32:$file"
}

# Four frames of a primary (filled) button: $1 w, $2 h, $3 text, $4 text size, $5 file.
primary_button() {
  local w=$1 h=$2
  pill_frame "$w" "$h" '#4a8cff' "$BLUE" white "$3" "$4" yes 0 none "$work/b0.png"
  pill_frame "$w" "$h" '#64a0ff' "$BLUE_HOVER" white "$3" "$4" yes 0 none "$work/b1.png"
  pill_frame "$w" "$h" "$BLUE_PRESS" '#2a6ee6' '#e8f0ff' "$3" "$4" no 2 none "$work/b2.png"
  pill_frame "$w" "$h" '#d0d7e2' "$DISABLED" '#f7f9fc' "$3" "$4" no 0 none "$work/b3.png"
  convert "$work"/b[0-3].png +append +repage "PNG32:$5"
}

# Four frames of a secondary (outlined) button.
secondary_button() {
  local w=$1 h=$2
  pill_frame "$w" "$h" white '#f7f9fc' '#5b6575' "$3" "$4" no 0 "$LINE" "$work/b0.png"
  pill_frame "$w" "$h" '#f4f8ff' '#eaf2ff' "$BLUE" "$3" "$4" no 0 "$BLUE_HOVER" "$work/b1.png"
  pill_frame "$w" "$h" '#dde8ff' '#e6eeff' "$BLUE_PRESS" "$3" "$4" no 2 "$BLUE" "$work/b2.png"
  pill_frame "$w" "$h" '#f4f5f7' '#f4f5f7' '#c0c6cf' "$3" "$4" no 0 '#e3e6eb' "$work/b3.png"
  convert "$work"/b[0-3].png +append +repage "PNG32:$5"
}

# Close button (20 x 20), white on the coloured title areas. Small glyphs like this one are
# drawn four times larger and scaled down for clean edges.
close_button() {
  local frames=() i ring cross
  for i in 0 1 2 3; do
    case $i in
      0) ring='rgba(255,255,255,0)'; cross='rgba(255,255,255,0.9)' ;;
      1) ring='rgba(255,255,255,0.24)'; cross='white' ;;
      2) ring='rgba(255,255,255,0.40)'; cross='white' ;;
      3) ring='rgba(255,255,255,0)'; cross='rgba(255,255,255,0.35)' ;;
    esac
    convert -size "$(sl 80x80)" xc:none -fill "$ring" -draw "$(sd "circle 40,40 40,2")" \
      -fill none -stroke "$cross" -strokewidth "$(px 7)" \
      -draw "$(sd "stroke-linecap round line 26,26 54,54")" -draw "$(sd "stroke-linecap round line 54,26 26,54")" \
      -resize 25% "PNG32:$work/c$i.png"
    frames+=("$work/c$i.png")
  done
  convert "${frames[@]}" +append +repage "PNG32:$1"
}

# Check box (16 x 16 frames): off, off disabled, off hover, on, on disabled, on hover.
check_box() {
  local styles=("white $LINE none" "#eef0f3 #dde1e7 none" "white $BLUE none"
              "$BLUE $BLUE white" "$DISABLED $DISABLED white" "$BLUE_HOVER $BLUE_HOVER white")
  local frames=() i fill edge tick
  for i in 0 1 2 3 4 5; do
    read -r fill edge tick <<< "${styles[$i]}"
    # 14 pixels of box, leaving a gap to the text that starts right after the frame.
    local args=(-size "$(sl 64x64)" xc:none -fill "$fill" -stroke "$edge" -strokewidth "$(px 4)"
                -draw "$(sd "roundrectangle 2,6 55,59 11,11")")
    if [ "$tick" != none ]; then
      args+=(-fill none -stroke "$tick" -strokewidth "$(px 7)"
             -draw "$(sd "stroke-linecap round stroke-linejoin round polyline 14,34 25,45 44,23")")
    fi
    convert "${args[@]}" -resize 25% "PNG32:$work/k$i.png"
    frames+=("$work/k$i.png")
  done
  convert "${frames[@]}" +append +repage "PNG32:$1"
}

# Text box frames (normal, hover or focus, disabled): $1 w, $2 h, $3 "square" when the right
# side meets a button, "round" otherwise, $4 file.
text_box() {
  local w=$1 h=$2 frames=() i fill edge right
  for i in 0 1 2; do
    case $i in
      0) fill=white; edge=$LINE ;;
      1) fill=white; edge=$BLUE ;;
      2) fill='#f4f5f7'; edge='#e3e6eb' ;;
    esac
    if [ "$3" = square ]; then
      right=(-draw "$(sd "roundrectangle 0.5,0.5 $((w + 12)),$((h - 2)).5 6,6")"
             -draw "$(sd "line $((w - 1)).5,0.5 $((w - 1)).5,$((h - 2)).5")")
    else
      right=(-draw "$(sd "roundrectangle 0.5,0.5 $((w - 1)).5,$((h - 2)).5 6,6")")
    fi
    convert -size "$(sl "${w}x${h}")" xc:none -fill "$fill" -stroke "$edge" -strokewidth "$(px 1)" "${right[@]}" \
      "PNG32:$work/t$i.png"
    frames+=("$work/t$i.png")
  done
  convert "${frames[@]}" +append +repage "PNG32:$4"
}

# Browse button (37 x 32) with a folder glyph; its left edge is the text box's right border.
browse_button() {
  local frames=() i fill glyph
  for i in 0 1 2 3; do
    case $i in
      0) fill='#f6f8fb'; glyph=$MUTED ;;
      1) fill='#eaf2ff'; glyph=$BLUE ;;
      2) fill='#d9e6ff'; glyph=$BLUE_PRESS ;;
      3) fill='#f4f5f7'; glyph='#cdd2da' ;;
    esac
    convert -size "$(sl 148x128)" xc:none -fill "$fill" -stroke "$LINE" -strokewidth "$(px 4)" \
      -draw "$(sd "roundrectangle -40,2 145,125 24,24")" \
      -stroke none -fill "$glyph" \
      -draw "$(sd "roundrectangle 42,40 110,92 6,6")" -draw "$(sd "roundrectangle 42,34 70,46 5,5")" \
      -fill "$fill" -draw "$(sd "rectangle 42,50 110,53")" \
      -resize 25% "PNG32:$work/f$i.png"
    frames+=("$work/f$i.png")
  done
  convert "${frames[@]}" +append +repage "PNG32:$1"
}

# ---- progress bar --------------------------------------------------------------------------

# Track (560 x 15) and fill; the fill rect lies 2 pixels below the track rect, so the fill's
# bar sits 2 rows higher in its image and both meet on the same screen rows.
progress() {
  convert -size "$(sl 560x15)" xc:none -fill "$TRACK" -draw "$(sd "roundrectangle 0,4 559,11 4,4")" "PNG32:$1"
  shaped_gradient 560 15 "$BLUE" "$HERO_B" 90 "roundrectangle 0,2 559,9 4,4" "$2"
}

# ---- window backgrounds --------------------------------------------------------------------

# Appends to the array named $1 the layers of the mark on a white card over a soft shadow, for
# a page of 600 x 430: $2 the shadow's shape, $3 the card's size, $4 its shape, $5 its place,
# $6 the mark's size, $7 its place.
mark_card() {
  local -n layers=$1
  logo "$6" "$work/logo.png"
  layers+=(\( -size "$(sl 600x430)" xc:none -fill 'rgba(20,30,80,0.30)' -draw "$(sd "$2")" -blur "$(sl 0x4)" \)
             -composite
           \( -size "$(sl "${3}x${3}")" xc:none -fill white -draw "$(sd "$4")" \) -geometry "$(sl "$5")" -composite
           "$work/logo.png" -geometry "$(sl "$7")" -composite)
}

# The coloured top of a window: $1 w, $2 h, $3 bottom edge path (white shape), $4 file.
hero() {
  local w=$1 h=$2
  shaped_gradient "$w" "$h" "$HERO_A" "$HERO_B" 20 "$3" "$work/hero-face.png"
  convert "$work/hero-face.png" \
    \( -size "$(sl "${w}x${h}")" xc:none -fill 'rgba(255,255,255,0.07)' \
       -draw "$(sd "circle $((w - 70)),30 $((w + 60)),30")" -draw "$(sd "circle 60,$((h - 20)) 150,$((h - 20))")" \
       -fill 'rgba(255,255,255,0.05)' \
       -draw "$(sd "circle $((w - 160)),$((h - 40)) $((w - 110)),$((h - 40))")" \
       "$work/hero-face.png" -compose DstIn -composite \) \
    -compose Over -composite "PNG32:$4"
}

init_background() {
  hero 600 230 "path 'M 0,0 L 600,0 L 600,186 C 470,236 190,168 0,214 Z'" "$work/hero.png"
  local card=()
  mark_card card "roundrectangle 270,35 329,96 16,16" 64 "roundrectangle 4,4 59,59 15,15" +268+30 56 +272+34
  convert -size "$(sl 600x430)" xc:white "$work/hero.png" -composite "${card[@]}" \
    -font "$LATIN_BOLD" -pointsize "$(px 32)" -fill white -gravity north -annotate "$(sl +0+100)" "$PRODUCT" \
    -font "$CJK" -pointsize "$(px 14)" -fill 'rgba(255,255,255,0.86)' -gravity north \
      -annotate "$(sl +0+146)" "$TAGLINE" \
    -font "$CJK" -pointsize "$(px 12)" -fill "$MUTED" -gravity northwest -annotate "$(sl +156+333)" "安装位置" \
    "PNG32:$1"
  finish_window "$1"
}

install_background() {
  logo 26 "$work/logo-small.png"
  convert -size "$(sl 600x430)" xc:white \
    "$work/logo-small.png" -geometry "$(sl +20+12)" -composite \
    -font "$LATIN_BOLD" -pointsize "$(px 15)" -fill "$INK" -gravity northwest -annotate "$(sl +54+15)" "$PRODUCT" \
    -font "$CJK" -pointsize "$(px 13)" -fill "$MUTED" -annotate "$(sl +126+17)" "正在安装" \
    -fill '#eef1f5' -draw "$(sd "rectangle 0,49 599,49")" \
    "PNG32:$1"
  finish_window "$1"
}

# One carousel slide (600 x 430): a white page with a coloured card; only x < 580 and y >= 50
# show, over the progress window's background. $1..$2 card gradient, $3 title, $4 line,
# $5 name of the array with the illustration's draw arguments, $6 which dot is lit, $7 file.
slide() {
  local card="roundrectangle 20,64 579,340 14,14"
  shaped_gradient 600 430 "$1" "$2" 25 "$card" "$work/card.png"
  local lit=(-fill white) dim=(-fill 'rgba(255,255,255,0.45)') dots
  if [ "$6" = 0 ]; then
    dots=("${lit[@]}" -draw "$(sd "roundrectangle 52,308 71,315 4,4")"
          "${dim[@]}" -draw "$(sd "roundrectangle 78,308 85,315 4,4")")
  else
    dots=("${dim[@]}" -draw "$(sd "roundrectangle 52,308 59,315 4,4")"
          "${lit[@]}" -draw "$(sd "roundrectangle 66,308 85,315 4,4")")
  fi
  local -n art=$5
  convert -size "$(sl 600x430)" xc:white "$work/card.png" -composite \
    \( -size "$(sl 600x430)" xc:none -fill 'rgba(255,255,255,0.08)' \
       -draw "$(sd "circle 540,90 540,230")" -draw "$(sd "circle 90,330 90,400")" \
       "$work/card.png" -compose DstIn -composite \) \
    -compose Over -composite \
    "${art[@]}" \
    -font "$CJK" -pointsize "$(px 26)" -fill white -stroke white -strokewidth "$(px 0.6)" -gravity northwest \
    -annotate "$(sl +52+140)" "$3" -stroke none \
    -font "$CJK" -pointsize "$(px 14)" -fill 'rgba(255,255,255,0.85)' -annotate "$(sl +53+186)" "$4" \
    "${dots[@]}" \
    "PNG32:$7"
  finish_window "$7"
}

carousel() {
  # Slide 1: a fast window with a lightning badge.
  local speed=(
    -fill 'rgba(20,30,90,0.18)' -draw "$(sd "roundrectangle 352,118 556,268 12,12")"
    -fill white -draw "$(sd "roundrectangle 346,110 550,260 12,12")"
    -fill '#e9eefb' -draw "$(sd "roundrectangle 346,110 550,136 12,12")" -draw "$(sd "rectangle 346,124 550,136")"
    -fill '#ff6b6b' -draw "$(sd "circle 362,123 366,123")" -fill '#ffc53d' -draw "$(sd "circle 376,123 380,123")"
    -fill '#37d67a' -draw "$(sd "circle 390,123 394,123")"
    -fill '#dfe6f5' -draw "$(sd "roundrectangle 364,152 470,160 4,4")"
    -draw "$(sd "roundrectangle 364,172 520,180 4,4")"
    -draw "$(sd "roundrectangle 364,192 500,200 4,4")"
    -fill '#c9d8ff' -draw "$(sd "roundrectangle 364,216 440,242 6,6")"
    -fill '#ffc53d' -draw "$(sd "circle 528,246 528,212")"
    -fill white -draw "$(sd "polygon 532,224 516,250 527,250 523,268 541,240 530,240 536,224")")
  # Slide 2: file cards under a magnifying glass.
  local search=(
    -fill 'rgba(255,255,255,0.55)' -draw "$(sd "roundrectangle 380,104 500,254 12,12")"
    -fill 'rgba(255,255,255,0.8)' -draw "$(sd "roundrectangle 364,116 484,266 12,12")"
    -fill white -draw "$(sd "roundrectangle 348,128 468,278 12,12")"
    -fill "$TEAL_A" -draw "$(sd "roundrectangle 366,148 392,174 6,6")"
    -fill '#dcefee' -draw "$(sd "roundrectangle 366,190 450,198 4,4")"
    -draw "$(sd "roundrectangle 366,208 436,216 4,4")"
    -draw "$(sd "roundrectangle 366,226 444,234 4,4")"
    -fill 'rgba(255,255,255,0.25)' -stroke white -strokewidth "$(px 10)" -draw "$(sd "circle 486,206 486,168")"
    -draw "$(sd "stroke-linecap round line 514,234 544,264")" -stroke none)
  slide "$HERO_A" "$HERO_B" "更快、更轻、更流畅" "全新内核，开机即用，启动速度大幅提升" speed 0 "$work/s0.png"
  slide "$TEAL_A" "$TEAL_B" "文件秒搜，井井有条" "桌面自动整理，想找的文件一搜即得" search 1 "$work/s1.png"
  convert "$work/s0.png" "$work/s1.png" +append +repage "PNG32:$1"
}

# The end of a run: the coloured top with a tick, $1 heading and $2 line below it, $3 file.
complete_background() {
  hero 600 270 "path 'M 0,0 L 600,0 L 600,226 C 460,272 180,212 0,250 Z'" "$work/hero.png"
  convert -size "$(sl 600x430)" xc:white "$work/hero.png" -composite \
    \( -size "$(sl 600x430)" xc:none -fill 'rgba(20,30,80,0.25)' -draw "$(sd "circle 300,96 300,55")" \
       -blur "$(sl 0x5)" \) -composite \
    -fill white -draw "$(sd "circle 300,92 300,52")" \
    -fill none -stroke "$BLUE" -strokewidth "$(px 8)" \
    -draw "$(sd "stroke-linecap round stroke-linejoin round polyline 282,93 296,107 320,80")" -stroke none \
    -fill '#ffd166' -draw "$(sd "roundrectangle 150,60 160,66 3,3")" -draw "$(sd "circle 120,150 120,154")" \
    -fill '#7ee0c3' -draw "$(sd "circle 470,70 470,75")" \
    -fill '#ff9fb2' -draw "$(sd "roundrectangle 420,150 428,158 2,2")" \
    -fill 'rgba(255,255,255,0.6)' -draw "$(sd "circle 200,120 200,123")" -draw "$(sd "circle 400,40 400,43")" \
    -font "$CJK" -pointsize "$(px 26)" -fill white -stroke white -strokewidth "$(px 0.6)" -gravity north \
    -annotate "$(sl +0+148)" "$1" -stroke none \
    -font "$CJK" -pointsize "$(px 14)" -fill 'rgba(255,255,255,0.88)' -gravity north -annotate "$(sl +0+190)" "$2" \
    "PNG32:$3"
  finish_window "$3"
}

# Points of a circular arc for a polyline (this ImageMagick closes stroked arc paths): centre
# $1,$2, radius $3, from $4 to $5 degrees, clockwise.
arc() {
  awk -v cx="$1" -v cy="$2" -v r="$3" -v a="$4" -v b="$5" 'BEGIN {
    for (t = a; t <= b; t += 5) {
      rad = t * 3.14159265 / 180
      printf "%.1f,%.1f ", cx + r * cos(rad), cy + r * sin(rad)
    } }'
}

update_background() {
  shaped_gradient 600 430 "$HERO_A" "$HERO_B" 20 "rectangle 0,0 599,334" "$work/hero.png"
  convert -size "$(sl 600x430)" xc:white "$work/hero.png" -composite \
    -fill 'rgba(255,255,255,0.07)' -draw "$(sd "circle 530,40 640,40")" -draw "$(sd "circle 70,300 160,300")" \
    -fill none -stroke white -strokewidth "$(px 10)" \
    -draw "$(sd "stroke-linecap round stroke-linejoin round polyline $(arc 300 140 52 200 315)")" \
    -draw "$(sd "stroke-linecap round stroke-linejoin round polyline $(arc 300 140 52 20 135)")" \
    -stroke none -fill white \
    -draw "$(sd "polygon 348,114.5 344.6,95.4 329,111")" -draw "$(sd "polygon 252,165.5 255.4,184.6 271,169")" \
    -font "$CJK" -pointsize "$(px 24)" -fill white -stroke white -strokewidth "$(px 0.6)" -gravity north \
    -annotate "$(sl +0+220)" "正在升级到最新版本" -stroke none \
    -font "$CJK" -pointsize "$(px 14)" -fill 'rgba(255,255,255,0.85)' -gravity north -annotate "$(sl +0+262)" \
      "升级期间请勿关闭电脑，完成后自动生效" \
    "PNG32:$1"
  finish_window "$1"
}

tip_background() {
  shaped_gradient 320 220 "$HERO_A" "$HERO_B" 20 "rectangle 0,0 319,28" "$work/bar.png"
  convert -size "$(sl 320x220)" xc:white "$work/bar.png" -composite \
    -font "$CJK" -pointsize "$(px 13)" -fill white -gravity northwest -annotate "$(sl +14+6)" "提示" \
    -fill "$BLUE" -draw "$(sd "circle 43,99 43,85")" -fill white \
    -draw "$(sd "roundrectangle 41,90 45,102 2,2")" -draw "$(sd "circle 43,107 43,109")" \
    "PNG32:$1"
  finish_window "$1"
}

# ---- the uninstaller's pages ---------------------------------------------------------------

# The first page: the coloured top (its title and question are labels of the layout), reasons
# below.
uninstall_background() {
  hero 600 140 "path 'M 0,0 L 600,0 L 600,112 C 470,146 190,102 0,132 Z'" "$work/hero.png"
  local card=()
  mark_card card "roundrectangle 40,34 91,85 14,14" 56 "roundrectangle 3,3 52,52 13,13" +38+28 48 +42+32
  convert -size "$(sl 600x430)" xc:white "$work/hero.png" -composite "${card[@]}" \
    -fill '#eef1f5' -draw "$(sd "rectangle 40,236 559,236")" \
    "PNG32:$1"
  finish_window "$1"
}

# The progress page: the install page's look, with a bin where the slides were.
uninstalling_background() {
  logo 26 "$work/logo-small.png"
  convert -size "$(sl 600x430)" xc:white \
    "$work/logo-small.png" -geometry "$(sl +20+12)" -composite \
    -fill '#eef1f5' -draw "$(sd "rectangle 0,49 599,49")" \
    -fill '#f3f6fb' -draw "$(sd "circle 300,190 300,110")" \
    -fill none -stroke "$LINE" -strokewidth "$(px 6)" \
    -draw "$(sd "roundrectangle 262,150 338,236 10,10")" \
    -draw "$(sd "stroke-linecap round line 248,150 352,150")" -draw "$(sd "stroke-linecap round line 284,142 316,142")" \
    -draw "$(sd "stroke-linecap round line 286,168 286,218")" -draw "$(sd "stroke-linecap round line 314,168 314,218")" \
    "PNG32:$1"
  finish_window "$1"
}

# ---- the starter's neutral pages ----------------------------------------------------------

# A page with the coloured top $2 pixels high and nothing drawn on it; $1 file.
plain_hero_page() {
  hero 600 "$2" "path 'M 0,0 L 600,0 L 600,$(($2 - 40)) C 470,$(($2 + 6)) 190,$(($2 - 38)) 0,$(($2 - 8)) Z'" \
    "$work/hero.png"
  convert -size "$(sl 600x430)" xc:white "$work/hero.png" -composite "PNG32:$1"
  finish_window "$1"
}

# A white page under a title bar 50 pixels high; $1 file.
plain_page() {
  convert -size "$(sl 600x430)" xc:white -fill '#eef1f5' -draw "$(sd "rectangle 0,49 599,49")" "PNG32:$1"
  finish_window "$1"
}

# ---- the skins -----------------------------------------------------------------------------

# The images of each skin at the scale $S, their names ending in $at.
starter_skin() {
  plain_hero_page "$out/301$at.png" 200
  close_button "$out/302$at.png"
  check_box "$out/303$at.png"
  text_box 443 32 square "$out/304$at.png"
  browse_button "$out/305$at.png"
  plain_page "$out/307$at.png"
  primary_button 170 45 "" 17 "$out/308$at.png"
  complete_background "" "" "$out/310$at.png"
  progress "$out/311$at.png" "$out/312$at.png"
  primary_button 170 45 "" 17 "$out/315$at.png"

  plain_hero_page "$uninstall_out/401$at.png" 140
  primary_button 150 42 "" 15 "$uninstall_out/402$at.png"
  secondary_button 150 42 "" 15 "$uninstall_out/403$at.png"
  plain_page "$uninstall_out/405$at.png"
  complete_background "" "" "$uninstall_out/406$at.png"
  primary_button 170 45 "" 17 "$uninstall_out/407$at.png"
}

sample_skin() {
  init_background "$out/301$at.png"
  close_button "$out/302$at.png"
  check_box "$out/303$at.png"
  text_box 265 32 square "$out/304$at.png"
  browse_button "$out/305$at.png"
  install_background "$out/307$at.png"
  primary_button 170 45 "立即安装" 17 "$out/308$at.png"
  carousel "$out/309$at.png"
  complete_background "安装完成" "$PRODUCT 已成功安装到您的电脑" "$out/310$at.png"
  progress "$out/311$at.png" "$out/312$at.png"
  primary_button 170 45 "立即体验" 17 "$out/315$at.png"
  update_background "$out/316$at.png"
  tip_background "$out/340$at.png"
  primary_button 90 35 "确定" 14 "$out/341$at.png"
  secondary_button 90 35 "取消" 14 "$out/342$at.png"

  uninstall_background "$uninstall_out/401$at.png"
  primary_button 150 42 "立即卸载" 15 "$uninstall_out/402$at.png"
  secondary_button 150 42 "我再想想" 15 "$uninstall_out/403$at.png"
  text_box 440 30 round "$uninstall_out/404$at.png"
  uninstalling_background "$uninstall_out/405$at.png"
  complete_background "卸载完成" "感谢您一直以来的使用" "$uninstall_out/406$at.png"
  primary_button 170 45 "完成" 17 "$uninstall_out/407$at.png"
}

# ---- everything ----------------------------------------------------------------------------

# Each image at 100 % and at 200 %.
for S in 1 2; do
  at=$([ "$S" = 1 ] || echo "@${S}x")
  "$skin"
done
S=1

if [ -n "$icon" ]; then
  for size in 256 48 32 16; do logo "$size" "$work/icon-$size.png"; done
  convert "$work"/icon-{256,48,32,16}.png "$icon"
fi
# No time stamps or colour-profile chunks: a remake of an unchanged skin gives the same files.
mogrify -strip "$out"/*.png "$uninstall_out"/*.png
echo "skin written to $out and $uninstall_out${icon:+, icon to $icon}"
