# vorlix-view's load of binary PLY clouds against CloudCompare's, time and
# peak memory against the number of points, from viewer_load.csv (written by
# bench/viewer_peers.sh --out DIR).
# Usage: gnuplot -e "dir='docs/bench'" bench/viewer_load.gp   -> DIR/viewer_load.png
if (!exists("dir")) dir = "docs/bench"
csv = dir."/viewer_load.csv"
set terminal pngcairo size 1100,440 font ",10"
set output dir."/viewer_load.png"
set datafile separator ","
set grid
set logscale xy 10
set format x "10^{%L}"
set xlabel "points"
set key top left
set multiplot layout 1,2 title "Binary PLY (float xyz, uchar rgb) from the page cache, medians of alternating rounds"

set ylabel "load time (s)"
plot csv every ::1 using 1:2 with linespoints lw 2 pt 7 lc rgb "#1f77b4" title "vorlix-view", \
     csv every ::1 using 1:3 with linespoints lw 2 pt 5 lc rgb "#d62728" title "CloudCompare"

set ylabel "peak RSS (MiB)"
plot csv every ::1 using 1:4 with linespoints lw 2 pt 7 lc rgb "#1f77b4" title "vorlix-view", \
     csv every ::1 using 1:5 with linespoints lw 2 pt 5 lc rgb "#d62728" title "CloudCompare", \
     csv every ::1 using 1:(1.1 * 32 * $1 / 1048576 + 40) with lines dt 2 lc rgb "#555555" title "1.1 x 32 B x points + 40 MiB"
unset multiplot
