# Frame cost against N for both modes, library and bare loop, from
# frame_cost.csv (written by vorlix_bench --out DIR).
# Usage: gnuplot -e "dir='docs/bench'" bench/frame_cost.gp   -> DIR/frame_cost.png
if (!exists("dir")) dir = "docs/bench"
csv = dir."/frame_cost.csv"
set terminal pngcairo size 1500,480 font ",10"
set output dir."/frame_cost.png"
set datafile separator ","
set grid
set logscale x 10
set format x "10^{%L}"
set xlabel "voxels N"
set xrange [500:2000000]
set multiplot layout 1,3 title "vorlix\\_render frame, 500x500 window, Mesa llvmpipe under Xvfb: medians of alternating rounds"

pts(v) = strcol(1) eq "points" ? v : NaN
cub(v) = strcol(1) eq "cubes" ? v : NaN

set key top left
set logscale y 10
set format y "10^{%L}"
set ylabel "ms per frame (wall clock)"
plot csv every ::1 using 2:(pts($5)) with linespoints lw 2 pt 7 lc rgb "#1f77b4" title "points, library", \
     csv every ::1 using 2:(pts($6)) with points pt 6 ps 2 lc rgb "#1f77b4" title "points, bare loop", \
     csv every ::1 using 2:(cub($5)) with linespoints lw 2 pt 5 lc rgb "#d62728" title "cubes, library", \
     csv every ::1 using 2:(cub($6)) with points pt 4 ps 2 lc rgb "#d62728" title "cubes, bare loop"

set ylabel "CPU time per voxel, all threads (ns)"
set key top right
plot csv every ::1 using 2:(pts($10)) with linespoints lw 2 pt 7 lc rgb "#1f77b4" title "points, library", \
     csv every ::1 using 2:(pts($11)) with points pt 6 ps 2 lc rgb "#1f77b4" title "points, bare loop", \
     csv every ::1 using 2:(cub($10)) with linespoints lw 2 pt 5 lc rgb "#d62728" title "cubes, library", \
     csv every ::1 using 2:(cub($11)) with points pt 4 ps 2 lc rgb "#d62728" title "cubes, bare loop"

unset logscale y
set format y "%.2f"
set yrange [0.9:1.1]
set ylabel "library / bare, CPU time (median, quartiles)"
set key top right
plot 1.02 with lines dt 2 lc rgb "#555555" title "target 1.02", \
     csv every ::1 using ($2*0.93):(pts($12)):(pts($13)):(pts($14)) with yerrorbars pt 7 lc rgb "#1f77b4" title "points", \
     csv every ::1 using ($2*1.07):(cub($12)):(cub($13)):(cub($14)) with yerrorbars pt 5 lc rgb "#d62728" title "cubes"
unset multiplot
