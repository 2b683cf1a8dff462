#!/usr/bin/perl
# A sample discovery script: prints one candidate value per line for the
# attribute named by its option (-Instances, -LNames, -Listeners_<home>, ...).
use strict;
use warnings;

my %values = (
    Instances => [qw(zur1 zur2)],
    Databases => [qw(ZUR)],
    NonDefTns => ['/u01/app/viruze/network/admin'],
    LNames    => [qw(LISTENER LISTENER_ZUR)],
    yrnlinks  => [],
    crshome   => ['/u01/app/crs'],
);

my $opt = $ARGV[0] // '';
$opt =~ s/^-//;
if ($opt =~ /^Listeners/) {
    print "LISTENER\n\nLISTENER_ZUR\n";
} elsif (exists $values{$opt}) {
    print "$_\n" for @{ $values{$opt} };
}
exit 0;
