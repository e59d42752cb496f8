# vorlix-view's playback rate against the atom count, from trajectory_fps.csv
# (written by bench/trajectory_fps.sh --out DIR).
# Usage: gnuplot -e "dir='docs/bench'" bench/trajectory_fps.gp   -> DIR/trajectory_fps.png
if (!exists("dir")) dir = "docs/bench"
csv = dir."/trajectory_fps.csv"
set terminal pngcairo size 640,420 font ",10"
set output dir."/trajectory_fps.png"
set datafile separator ","
set grid
set logscale xy 10
set format x "10^{%L}"
set xlabel "atoms"
set ylabel "trajectory frames shown per second"
set key top right
set title "LAMMPS dump at the top speed, 640x640, Mesa llvmpipe, 2 cores"
set xrange [500:500000]
plot csv every ::1 using 1:2 with linespoints lw 2 pt 7 lc rgb "#1f77b4" title "median", \
     csv every ::1 using 1:3 with points pt 6 lc rgb "#1f77b4" title "lowest second", \
     60 with lines dt 2 lc rgb "#555555" title "60 per second"
