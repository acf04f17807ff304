#!/bin/sh
# Writes examples/gallery_models.kx (or SCENE): the models of this folder,
# each imported with kxrender-import --fit and placed in the gallery picture.
#   examples/models/make_gallery.sh [IMPORTER [SCENE]]
# (default build/kxrender-import). The importer runs from a folder beside
# examples/, as make demo renders, so that the texture paths it writes
# resolve there. make_models.py makes the models themselves.
set -eu
cd "$(dirname "$0")/../.."
importer=$(realpath "${1:-build/kxrender-import}")
scene=$(realpath -m "${2:-examples/gallery_models.kx}")
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
ln -s "$(pwd)/examples" "$run/examples"
mkdir "$run/out"
{
  echo "# Gallery: one model of each kind kxrender-import reads, made by"
  echo "# examples/models/make_models.py and imported by make_gallery.sh (do not"
  echo "# edit: run the script). Top: OBJ with MTL (two materials), glTF with a"
  echo "# texture and a node rotation, GLB, binary PLY; bottom: ASCII PLY, ASCII"
  echo "# STL, binary STL. Written as gallery_models0000.png; run from out/."
  echo 'Display "gallery_models" "PNG" "rgb"'
  echo 'Format 640 360'
  echo 'CameraEye 0 -9 3.2'
  echo 'CameraAt 0 0 0'
  echo 'CameraUp 0 0 1'
  echo 'CameraFOV 40'
  echo 'Background 0.12 0.12 0.16'
  echo 'WorldBegin'
  echo 'AmbientLight 1 1 1 0.25'
  echo 'FarLight -1 2 -2 1 1 1 0.9'
  echo 'FarLight 1 1 0.5 0.6 0.6 0.7 0.5'
  place() {  # model x z turn
    echo "XformPush"
    echo "Translate $2 0 $3"
    echo "Rotate \"Z\" $4"
    echo "Scale 0.8 0.8 0.8"
    echo 'Color 0.8 0.8 0.8'
    echo 'Kd 1'
    echo 'Ks 0.4'
    echo 'Specular 1 1 1 20'
    echo 'Surface "plastic"'
    (cd "$run/out" && "$importer" --fit "../examples/models/$1")
    echo "XformPop"
  }
  place torus.obj -3.3 1.1 0
  place crate.gltf -1.1 1.1 20
  place ball.glb 1.1 1.1 0
  place spring.ply 3.3 1.1 0
  place column.ply -2.2 -1.1 0
  place gem.stl 0 -1.1 0
  place vase.stl 2.2 -1.1 0
  echo 'WorldEnd'
} > "$scene.tmp"
mv "$scene.tmp" "$scene"
