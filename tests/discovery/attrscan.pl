#!/usr/bin/perl
# Discovery script for the plug-in's tests: what it prints depends on its
# option. Unknown options print the option and the number of arguments.
use strict;
use warnings;
use IO::Handle;

my $opt = $ARGV[0] // '';

my %cases = (
    '-Listeners_blank'     => sub { print "a\n\nb\n" },
    '-Listeners_nofinal'   => sub { print "a" },
    '-Listeners_nothing'   => sub { },
    '-Listeners_lineends'  => sub { print "\n\n\n" },
    '-Listeners_manylines' => sub { printf "value_%05d\n", $_ for 1 .. 2000 },
    '-Listeners_oneline'   => sub { print 'x' x 10000, "\n", "tail" },
    '-Listeners_markup'    => sub { print "<Scalar_Value>\n100%\n%s%n%%\n</Discovery>&<\n" },
    '-Listeners_nul'       => sub { print "a\0b\n\0\nc\n" },
    '-Listeners_exit3'     => sub { print "before\nexit\n"; exit 3 },
    '-Listeners_killed'    => sub {
        print "a\nb\n";
        STDOUT->flush;
        kill 'KILL', $$;
        sleep 10;
        print "never\n";
    },
    # Lines spread over time, so that a host's signals arrive during the read.
    '-Listeners_slow' => sub {
        STDOUT->autoflush(1);
        for my $i (1 .. 20) {
            print "line$i\n";
            select(undef, undef, undef, 0.01);
        }
    },
    # The descriptors the script was started with, as "fd target".
    '-Listeners_fds' => sub {
        opendir(my $dir, '/proc/self/fd') or die;
        my @fds = sort { $a <=> $b } grep { /^\d+$/ } readdir $dir;
        my $own = fileno $dir;
        for my $fd (@fds) {
            next if defined $own && $fd == $own;
            my $target = readlink("/proc/self/fd/$fd") // '?';
            print "$fd $target\n";
        }
    },
);

if (my $case = $cases{$opt}) {
    $case->();
} else {
    print "option=$opt\n";
    print "args=", scalar(@ARGV), "\n";
}
exit 0;
