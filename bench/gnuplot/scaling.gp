# Time against size for each build of one program, from hyperfine's CSV
# export (parameter_b in column 9, parameter_n in 10), with the growth of its
# algorithm drawn through the b2 point at the largest size.  Given with -e:
# data, output, name, growth (in x), logx (1 or 0), builds (their labels).
set terminal pngcairo size 800,560 noenhanced
set output output
set datafile separator ","
set logscale y
set format y "%g"
if (logx) set logscale x
set xlabel "size"
set ylabel "time [s], mean and standard deviation"
set key top left
set title name.": time of each build against size"
build(b) = "< awk -F, -v b=".b." '$9 == b' ".data
stats build(2) using 10 nooutput
x0 = STATS_max
stats build(2) using ($10 == x0 ? $2 : 1/0) nooutput
eval "g(x) = ".growth
c = STATS_max / g(x0)
plot for [i = 1:words(builds)] build(i - 1) using 10:2:3 with yerrorlines title word(builds, i), \
    c * g(x) with lines dashtype 2 lc "black" title growth." through b2"
