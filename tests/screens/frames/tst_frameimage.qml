import QtQuick
import QtTest
import Verseloom.Screens
import Verseloom.ScreensFramesTest

TestCase {
    id: test
    name: "FrameImageView"
    when: windowShown
    width: 200
    height: 300

    Component {
        id: viewComponent
        FrameImageView {
            width: 90
            height: 160
            fallbackText: "NEON LIGHTS"
        }
    }

    function find(view, name) {
        return findChild(view, name);
    }

    function test_remoteAddressShowsASpinnerThenThePicture() {
        const url = Harness.slowPicture(600);
        const view = createTemporaryObject(viewComponent, test, {
            hasFrame: true, localPath: Harness.goneFile(), remoteURL: url, accepted: true });
        compare(view.content, FrameImage.Remote);
        verify(view.loading, "the spinner shows while the picture loads");
        verify(view.showsPlaceholder, "over the placeholder");
        tryVerify(() => view.showsImage, 10000);
        verify(!view.loading);
        verify(!view.showsPlaceholder);
        compare(Harness.requestsTo(url), 1);
    }

    function test_aMissingRemotePictureShowsThePlaceholder() {
        const url = Harness.missingPicture();
        const view = createTemporaryObject(viewComponent, test, {
            hasFrame: true, localPath: Harness.goneFile(), remoteURL: url, accepted: true });
        tryVerify(() => !view.loading, 10000);
        verify(!view.showsImage);
        verify(!view.loading, "no spinner once the load failed");
        verify(view.showsPlaceholder);
        compare(find(view, "fallbackText").text, "NEON LIGHTS");
    }

    function test_aPictureOverThePixelLimitIsNeverDecoded() {
        // Decoding 900 megapixels to fit the view would take most of a minute.
        const view = createTemporaryObject(viewComponent, test, {
            hasFrame: true, localPath: Harness.bombFile(), remoteURL: "", accepted: true });
        tryVerify(() => view.content === FrameImage.Placeholder, 10000);
        verify(!view.showsImage);
        verify(view.showsPlaceholder);
    }

    function test_aFetchedBodyOverTheSizeCapShowsThePlaceholder() {
        const url = Harness.oversizedPicture();
        const view = createTemporaryObject(viewComponent, test, {
            hasFrame: true, localPath: Harness.goneFile(), remoteURL: url, accepted: true });
        tryVerify(() => !view.loading, 60000);
        verify(!view.showsImage, "a picture larger than the cap was taken");
        verify(view.showsPlaceholder);
    }

    function test_aReadableFileIsNeverFetched() {
        const url = Harness.slowPicture(0);
        const view = createTemporaryObject(viewComponent, test, {
            hasFrame: true, localPath: Harness.localPicture(), remoteURL: url, accepted: true });
        compare(view.content, FrameImage.Local);
        tryVerify(() => view.showsImage, 10000);
        verify(!view.loading);
        wait(50);
        compare(Harness.requestsTo(url), 0);
    }

    function test_noFrameIsThePlaceholderAtOnce() {
        const view = createTemporaryObject(viewComponent, test, {
            hasFrame: false, localPath: Harness.localPicture(), remoteURL: Harness.slowPicture(0) });
        compare(view.content, FrameImage.Placeholder);
        verify(!view.loading);
        verify(view.showsPlaceholder);
    }
}
