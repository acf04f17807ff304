"""The farm's planning, Slurm quoting and image names, without a cluster."""

import os
import random
import unittest

from kxfarm import images, plan, slurm


class Bands(unittest.TestCase):
    def test_bands_cover_every_row_once_and_follow_cost(self):
        rnd = random.Random(7)
        for _ in range(300):
            height = rnd.randint(1, 300)
            bands = rnd.randint(1, 40)
            cost = None if rnd.random() < 0.2 else [rnd.choice([0.0, 0.001, 1.0, 50.0]) for _ in range(height)]
            cut = plan.cut(height, bands, cost)
            self.assertEqual(len(cut), min(bands, height))
            self.assertEqual(cut[0][0], 0)
            self.assertEqual(cut[-1][1], height)
            for (a0, a1), (b0, _) in zip(cut, cut[1:]):
                self.assertLess(a0, a1)
                self.assertEqual(a1, b0)
        # Sky (free) above, floor (costly) below: the costly rows are shared out.
        cost = [0.0] * 150 + [1.0] * 50
        self.assertEqual(plan.cut(200, 4, cost), [(0, 163), (163, 175), (175, 188), (188, 200)])
        self.assertEqual(plan.cut(200, 4), [(0, 50), (50, 100), (100, 150), (150, 200)])

    def test_later_frames_are_cut_by_what_earlier_bands_cost(self):
        frames = {f: [(f"f{f}.ppm", 10, 100)] for f in (1, 2)}
        planner = plan.Planner(frames, slots=2, regions=2)
        first = planner.more(1)
        self.assertEqual([i.region for i in first], [(0, 0, 10, 50), (0, 50, 10, 100)])
        first[0].seconds, first[1].seconds = 1.0, 3.0  # the lower half costs 3 times more
        for item in first:
            planner.measured(item)
        second = planner.more(1)
        self.assertEqual([(i.frame, i.region) for i in second], [(2, (0, 0, 10, 67)), (2, (0, 67, 10, 100))])
        self.assertEqual(planner.total(), 4)


class Items(unittest.TestCase):
    def test_whole_frames_unless_fewer_frames_than_slots(self):
        images_of = {f"a{f:04}.png": (f, 64, 48) for f in range(1, 25)}
        planner = plan.Planner(plan.frames_of(images_of), slots=8, regions=1)
        items = planner.more(5)  # planned as they are wanted
        self.assertEqual([(i.frame, i.region) for i in items], [(f, None) for f in range(1, 6)])
        self.assertEqual((len(planner.more(100)), planner.total()), (19, 24))
        # 3 frames for 8 slots: 3 bands each; a frame of two sizes or an empty
        # size stays whole, and so do frames when asked for one region.
        few = {"a.ppm": (1, 64, 48), "b.ppm": (2, 64, 48), "c.ppm": (2, 64, 48), "d.ppm": (3, 64, 48),
               "e.ppm": (3, 32, 48), "z.ppm": (4, 0, 0)}
        planner = plan.Planner(plan.frames_of(few), slots=12, regions=1)
        items = planner.more(100)
        self.assertEqual([(i.frame, i.region) for i in items],
                         [(1, (0, 0, 64, 16)), (1, (0, 16, 64, 32)), (1, (0, 32, 64, 48)),
                          (2, (0, 0, 64, 16)), (2, (0, 16, 64, 32)), (2, (0, 32, 64, 48)), (3, None), (4, None)])
        self.assertEqual([n for n, _, _ in items[3].images], ["b.ppm", "c.ppm"])
        self.assertEqual(plan.bands_per_frame(24, 2, 4), 4)
        self.assertEqual(plan.bands_per_frame(24, 48, 1), 2)
        self.assertEqual(plan.bands_per_frame(1, 1, 1), 1)


class Slurm(unittest.TestCase):
    def test_array_specs_and_pattern_quoting(self):
        self.assertEqual(slurm.array_spec([0, 1, 2, 5, 7, 8]), "0-2,5,7-8")
        self.assertEqual(slurm.array_spec([4]), "4")
        self.assertEqual(slurm.array_spec([]), "")
        self.assertEqual(slurm.pattern_safe("/shots%x/100%%/run"), "/shots%%x/100%%%%/run")


class Names(unittest.TestCase):
    def test_listed_names_round_trip(self):
        names = [os.fsdecode(b"caf\xe9 %x.ppm"), "line\nfeed.ppm", "back\\slash\x7f.png", "\u0085nel\u00e9\u4e2d.ppm",
                 os.fsdecode(b"\xc2.ppm")]
        listing = b"".join(b"image %d 4 2 %s\n" % (k, images.shown(n).encode("utf-8"))
                           for k, n in enumerate(names))
        self.assertEqual(listing.count(b"\n"), len(names))  # one line each, whatever the name
        self.assertEqual(images.shown(names[0]), "caf\\xe9 %x.ppm")
        self.assertEqual(images.shown(names[2]), "back\\\\slash\\x7f.png")
        self.assertEqual(images.shown(names[3]), "\\xc2\\x85nel\u00e9\u4e2d.ppm")
        self.assertEqual(images.parse_list(listing + b"not an image line\n"),
                         {n: (k, 4, 2) for k, n in enumerate(names)})


if __name__ == "__main__":
    unittest.main()
